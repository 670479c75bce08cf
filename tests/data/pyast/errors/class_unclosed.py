class A(object:
    pass
