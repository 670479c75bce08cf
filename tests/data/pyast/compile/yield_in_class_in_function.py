def f():
    class C:
        yield 1
