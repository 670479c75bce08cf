[i for i in range(5) if (j := 0) for j in range(5)]
