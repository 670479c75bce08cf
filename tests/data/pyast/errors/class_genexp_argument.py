class A(x for x in y): pass
