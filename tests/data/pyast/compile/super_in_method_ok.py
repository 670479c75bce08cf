class C:
    def f(self):
        super().f()
        x = __class__
