match x:
    case [y, (1 | 2) as y]:
        pass
