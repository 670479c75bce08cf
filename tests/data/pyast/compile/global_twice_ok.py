def f():
    global x
    global x
    x = 1
