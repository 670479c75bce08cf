for x y:
    pass
