def f[**P: (a, b)](): pass
