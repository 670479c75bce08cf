class C[T]:
    def f(self):
        nonlocal T
