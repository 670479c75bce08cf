match(x)
x = = 1
