[a, for a in c]
