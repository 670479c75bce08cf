class C
    pass
