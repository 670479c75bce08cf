def f():
    x = 1
    global x
