match x:
    case a:
        pass
    case b:
        pass
