for x in y:
    pass
else:
    break
