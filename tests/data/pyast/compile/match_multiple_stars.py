match d:
    case [a, *b, *c]:
        pass
