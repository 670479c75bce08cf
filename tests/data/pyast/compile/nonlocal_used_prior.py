def f():
    x = 1
    def g():
        print(x)
        nonlocal x
