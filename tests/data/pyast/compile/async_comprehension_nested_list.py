async def f():
    def g():
        return [[z async for z in x] for x in y]
