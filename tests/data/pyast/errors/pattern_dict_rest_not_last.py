match x:
    case {**r, 'a': 1}:
        pass
