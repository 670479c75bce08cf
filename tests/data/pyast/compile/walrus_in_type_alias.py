type A = (x := 1)
