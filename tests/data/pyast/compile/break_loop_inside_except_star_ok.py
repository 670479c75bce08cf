def f():
    for x in y:
        try:
            pass
        except* E:
            for z in w:
                break
