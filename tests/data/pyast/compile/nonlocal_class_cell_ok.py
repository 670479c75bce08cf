class C:
    def f(self):
        nonlocal __class__
        __class__ = C
