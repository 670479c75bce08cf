def f():
    x: int
    def g():
        nonlocal x
