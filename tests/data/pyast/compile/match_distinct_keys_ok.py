match x:
    case {1: a, "1": b, b"1": c, None: d, 1.5: e}:
        pass
