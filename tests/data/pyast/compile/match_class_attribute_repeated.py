match x:
    case C(a=1, a=2):
        pass
