def f():
    x = 1
    def g():
        x = 2
        nonlocal x
