async def f():
    async for (yield):
        pass
