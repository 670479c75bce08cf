x = 1.e
