match d:
    case {x.y: a, x.z: b}:
        pass
