def f():
    def g():
    return 1
