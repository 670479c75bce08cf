def f():
    x.a = 1
    global x
