def f():
    nonlocal x
__debug__ = 1
