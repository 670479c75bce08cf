print(a b)
