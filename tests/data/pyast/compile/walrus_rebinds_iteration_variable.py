[i := 0 for i in range(3)]
