match d:
    case (x as y) | (y as x):
        pass
    case 1:
        pass
