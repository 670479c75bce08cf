def f():
    for x in y:
        try:
            pass
        finally:
            break
