for x if y else z , w:
    pass
