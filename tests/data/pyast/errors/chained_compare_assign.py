a < b = c
