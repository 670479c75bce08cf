def f()
    pass
