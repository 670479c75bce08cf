return a b
