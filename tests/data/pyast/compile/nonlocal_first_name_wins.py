def f():
    nonlocal a, b
    print(b)
