def f(a, /, /): pass
