del 1
