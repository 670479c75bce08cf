match d:
    case 1:
        return
    case x:
        pass
    case 2:
        pass
