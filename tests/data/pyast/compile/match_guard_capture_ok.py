match d:
    case x if x:
        pass
    case y:
        pass
