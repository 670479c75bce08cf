case 1:
    pass
