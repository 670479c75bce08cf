for x in y:
    if x:
        if x > 1:
            break
    else:
        continue
