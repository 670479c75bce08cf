match x:
    case [a, a]:
        pass
