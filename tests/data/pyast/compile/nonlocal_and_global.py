def f():
    global x
    nonlocal x
