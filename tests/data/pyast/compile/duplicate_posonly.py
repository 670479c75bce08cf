def f(a, /, a): pass
