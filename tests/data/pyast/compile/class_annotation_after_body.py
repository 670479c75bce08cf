class C:
    x: f(a=1, a=1)
    return
