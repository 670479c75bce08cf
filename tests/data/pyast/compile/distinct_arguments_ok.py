def f(a, /, b, *c, d, **e): pass
lambda x, *y, z=1, **w: 0
