class C:
    def f(self):
        nonlocal __x
    __x = 1
