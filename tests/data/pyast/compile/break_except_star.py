for x in y:
    try:
        pass
    except* E:
        break
