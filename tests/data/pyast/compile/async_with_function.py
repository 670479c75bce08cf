def f():
    async with a: pass
