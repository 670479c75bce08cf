def f():
    return ([x async for x in y] for z in w)
