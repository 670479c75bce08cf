def g():
    x = 1
    def f(x):
        nonlocal x
