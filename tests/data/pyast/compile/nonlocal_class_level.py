class C:
    nonlocal x
