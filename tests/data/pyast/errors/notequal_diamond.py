x = 1
if a <> b:
    pass
