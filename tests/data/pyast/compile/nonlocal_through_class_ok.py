def f():
    x = 1
    class C:
        def g(self):
            nonlocal x
