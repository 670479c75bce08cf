if x
    pass
