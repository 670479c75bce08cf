@(await x)
def f(a, a): pass
