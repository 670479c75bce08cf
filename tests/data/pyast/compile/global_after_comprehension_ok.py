def f():
    [x for x in y]
    global x
