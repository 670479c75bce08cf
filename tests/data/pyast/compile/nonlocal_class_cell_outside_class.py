def f():
    def g():
        nonlocal __class__
