def f(x):
    if x:
        return 1
    return
