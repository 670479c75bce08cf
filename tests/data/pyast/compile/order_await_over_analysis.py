def f():
    await y
nonlocal z
