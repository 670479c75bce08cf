x = lambda: (yield)
