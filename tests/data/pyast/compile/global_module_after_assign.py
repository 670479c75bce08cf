x = 1
global x
