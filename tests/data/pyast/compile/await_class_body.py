async def f():
    class C:
        await x
