def f():
    return [await x for x in y]
