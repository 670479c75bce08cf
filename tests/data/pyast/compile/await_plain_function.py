def f():
    return await x
