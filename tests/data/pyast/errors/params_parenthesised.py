def f( (a, b)): pass
