x = {a b}
