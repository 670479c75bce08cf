def f():
    x = 1
    def g[T]():
        nonlocal x
        x = T
