def f():
    global x
    x: int
