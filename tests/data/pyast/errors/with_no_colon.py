with a as b
    pass
