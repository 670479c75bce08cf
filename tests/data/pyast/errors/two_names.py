a b
