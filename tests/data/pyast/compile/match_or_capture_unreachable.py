match d:
    case a | b:
        pass
