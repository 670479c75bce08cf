nonlocal x
async with a: pass
