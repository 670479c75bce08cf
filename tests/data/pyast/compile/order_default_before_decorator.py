@f(a=1, a=1)
def g(x=(yield)): pass
