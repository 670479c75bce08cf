global x = 1
