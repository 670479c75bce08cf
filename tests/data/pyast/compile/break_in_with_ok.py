for x in y:
    with a as b, c:
        break
