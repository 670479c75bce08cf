[x for x in (y := 1)]
