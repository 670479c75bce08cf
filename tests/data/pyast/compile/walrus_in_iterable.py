[i for i in (j := range(3))]
