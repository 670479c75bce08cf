None = 1
