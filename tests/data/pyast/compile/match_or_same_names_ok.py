match d:
    case [x] | x:
        pass
    case _:
        pass
