def f():
    x = [y for y in (yield)]
