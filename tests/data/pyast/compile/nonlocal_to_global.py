def f():
    x = 1
    def g():
        global x
        def h():
            nonlocal x
