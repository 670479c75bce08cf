def f(x, *y, y): pass
