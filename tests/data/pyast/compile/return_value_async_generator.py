async def f():
    yield 1
    return 2
