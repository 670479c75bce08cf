def f():
    class C:
        return 1
