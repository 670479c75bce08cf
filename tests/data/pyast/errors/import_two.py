import a b
