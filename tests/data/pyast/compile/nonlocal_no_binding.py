def f():
    nonlocal x
    x = 1
