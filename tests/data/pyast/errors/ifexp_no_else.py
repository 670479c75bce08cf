x = 1 if y
