def f():
    [x := 1 for y in z]
    def h():
        nonlocal x
