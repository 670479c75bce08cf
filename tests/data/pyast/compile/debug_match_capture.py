match x:
    case __debug__:
        pass
