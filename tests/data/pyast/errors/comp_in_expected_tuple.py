[x for a, b c in y]
