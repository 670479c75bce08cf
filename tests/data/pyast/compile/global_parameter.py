def f(x):
    global x
