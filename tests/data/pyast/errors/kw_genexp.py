f(a=1 for x in y)
