lambda x, (a, b): 0
