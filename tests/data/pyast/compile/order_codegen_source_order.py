def f():
    yield from x
    await y
break
