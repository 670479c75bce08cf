async def f():
    return {k: v async for k, v in y}
