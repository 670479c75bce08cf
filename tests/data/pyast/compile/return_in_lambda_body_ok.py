f = lambda: (yield)
g = lambda: [x for x in y]
