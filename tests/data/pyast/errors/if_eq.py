if x = 1:
    pass
