def f():
    x = 1

return f
