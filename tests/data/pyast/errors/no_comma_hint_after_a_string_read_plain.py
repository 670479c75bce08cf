"s" + f(a b)
