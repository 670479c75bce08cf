def f(*a, *b=1): pass
