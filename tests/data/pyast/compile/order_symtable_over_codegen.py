x = 1
return x
def f():
    nonlocal q
