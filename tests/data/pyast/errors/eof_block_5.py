def f():
    # c