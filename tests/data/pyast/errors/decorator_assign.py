@decorator
x = 1
