def f(x: (y := 1)): pass
