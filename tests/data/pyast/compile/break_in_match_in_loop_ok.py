for x in y:
    match x:
        case 1:
            break
        case _:
            continue
