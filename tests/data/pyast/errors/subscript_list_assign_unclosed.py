def f():
    mode[[] = list(mode[CC])
    x = 1
