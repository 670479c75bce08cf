def f():
    return [(yield x) for x in y]
