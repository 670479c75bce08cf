class C(a=1, a=1):
    return
