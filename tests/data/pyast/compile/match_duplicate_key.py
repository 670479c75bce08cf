match x:
    case {1: a, 1: b}:
        pass
