def f():
    y = 0
    def g():
        nonlocal y
        [y := x for x in z]
