for 1 in x:
    pass
