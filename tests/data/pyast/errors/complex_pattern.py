match x:
    case 1j + 2:
        pass
