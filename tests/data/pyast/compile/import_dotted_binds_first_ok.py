def f():
    import a.b.c
    def g():
        nonlocal a
