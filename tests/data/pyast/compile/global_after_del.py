def f():
    del x
    global x
