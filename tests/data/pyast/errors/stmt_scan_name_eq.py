a, b c = 1
