def f():
    global y
    [y := x for x in z]
