class = 1
