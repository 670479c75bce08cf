def f():
    # c
