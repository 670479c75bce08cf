[x for x y]
