match x:
    case _:
        pass
    case 1:
        pass
