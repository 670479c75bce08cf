match x:
    case {1+2j: a, 1+2j: b}:
        pass
