def f():
    print(b)
    nonlocal a, b
