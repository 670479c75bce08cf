match x:
    case [y, *y]:
        pass
