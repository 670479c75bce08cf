while x
    pass
