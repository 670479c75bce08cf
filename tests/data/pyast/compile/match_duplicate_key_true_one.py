match d:
    case {True: a, 1: b}:
        pass
