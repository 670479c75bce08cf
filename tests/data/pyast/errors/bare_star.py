def f(*): pass
