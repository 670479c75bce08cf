def f:
    pass
