def f[T: (lambda: 1)](): pass
