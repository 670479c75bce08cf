def f():
    return [x for x in y if await x]
