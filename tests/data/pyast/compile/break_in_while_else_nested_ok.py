for a in b:
    while x:
        pass
    else:
        break
