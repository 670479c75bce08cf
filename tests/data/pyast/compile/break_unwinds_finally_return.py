for x in y:
    try:
        break
    finally:
        return
