async def f(x):
    y = await x
    async with y as z:
        async for a in z:
            await a
