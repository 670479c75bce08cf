async def f():
    g = lambda: await x
