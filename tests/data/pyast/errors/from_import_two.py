from x import a b
