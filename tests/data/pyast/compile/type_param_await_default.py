def f[T = await x](): pass
