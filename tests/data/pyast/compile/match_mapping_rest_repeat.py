match x:
    case {"a": y, **y}:
        pass
