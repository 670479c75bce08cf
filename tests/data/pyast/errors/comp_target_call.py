[x for f() in y]
