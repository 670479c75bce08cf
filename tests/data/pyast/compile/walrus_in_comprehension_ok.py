def f(z):
    [y := x for x in z]
    return y
