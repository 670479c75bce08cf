class C:
    type A = (yield)
