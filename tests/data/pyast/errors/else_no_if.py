else:
    pass
