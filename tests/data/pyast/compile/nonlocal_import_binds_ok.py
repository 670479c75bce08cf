def f():
    import y
    def g():
        nonlocal y
        y = 1
