def f():
    for x in y:
        pass
    global x
