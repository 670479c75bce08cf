def f():
    return {x: (yield x) for x in y}
