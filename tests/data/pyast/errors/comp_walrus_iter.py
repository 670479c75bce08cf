[y := 1 for y in z]
