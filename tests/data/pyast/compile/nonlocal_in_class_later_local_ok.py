def f():
    class C:
        nonlocal x
    x = 1
