def f():
    await = 1
