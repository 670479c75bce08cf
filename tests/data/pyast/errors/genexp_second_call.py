f(x for x in y)(1 for a in b, 2)
