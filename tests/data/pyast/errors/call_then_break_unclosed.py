def f():
    node = stack[-1](    break
    x = 1
