def f():
    x: f(a=1, a=1)
