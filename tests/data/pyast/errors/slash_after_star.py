def f(*, a, /): pass
