def f():
    print(x)
    global x
