lambda x: x y
