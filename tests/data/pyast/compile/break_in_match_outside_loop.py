match x:
    case 1:
        break
