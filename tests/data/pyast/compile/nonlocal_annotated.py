def f():
    def g():
        x: int
        nonlocal x
