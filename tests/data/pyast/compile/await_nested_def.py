async def f():
    def g():
        await x
