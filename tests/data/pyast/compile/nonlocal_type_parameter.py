def f[T]():
    nonlocal T
