match x:
    case C(y, z=y):
        pass
