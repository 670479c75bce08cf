def f():
    match y:
        case x: pass
    global x
