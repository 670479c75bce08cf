match x:
    case 1:
        pass
    case _ if x:
        pass
