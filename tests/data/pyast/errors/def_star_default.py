def f(*a=1): pass
