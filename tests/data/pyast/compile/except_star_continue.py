while x:
    try:
        pass
    except* E:
        continue
