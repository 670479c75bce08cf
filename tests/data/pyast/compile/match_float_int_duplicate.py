match x:
    case {0: a, 0.0: b, False: c}:
        pass
