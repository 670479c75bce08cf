def f(a, b, a): pass
