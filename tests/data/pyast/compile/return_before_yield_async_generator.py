async def g():
    return 3
    yield 1
