def f():
    x: int
    global x
