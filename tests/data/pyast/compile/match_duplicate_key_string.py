match d:
    case {"a": a, "a": b}:
        pass
