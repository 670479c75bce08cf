f(a=1, b)
