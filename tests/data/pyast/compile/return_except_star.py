def f():
    try:
        pass
    except* E:
        return 1
