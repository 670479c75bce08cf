def f():
    return (x async for x in y)
