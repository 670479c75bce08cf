async with a: pass
