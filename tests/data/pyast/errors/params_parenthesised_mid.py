def f(x, (a), y): pass
