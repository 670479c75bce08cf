with x
    pass
