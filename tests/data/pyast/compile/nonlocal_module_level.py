def f():
    nonlocal y
nonlocal x
