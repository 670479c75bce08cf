def f():
    class C:
        x = 1
        def g():
            nonlocal x
