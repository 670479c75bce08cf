def f[*T: int](): pass
