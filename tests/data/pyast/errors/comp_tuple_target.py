[a, b for a in c]
