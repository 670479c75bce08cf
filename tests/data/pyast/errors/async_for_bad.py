async for f() in x:
    pass
