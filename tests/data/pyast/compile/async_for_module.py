async for a in b:
    pass
