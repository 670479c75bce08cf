def f(x: (await y)): pass
