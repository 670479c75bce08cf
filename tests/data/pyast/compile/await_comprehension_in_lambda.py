async def f():
    lambda: [await x for x in y]
