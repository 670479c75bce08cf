match d:
    case {-1: a, -1: b}:
        pass
