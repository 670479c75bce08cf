def f():
    async for a in b: pass
