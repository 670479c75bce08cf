def f():
    [await x for x in y]
    await z
