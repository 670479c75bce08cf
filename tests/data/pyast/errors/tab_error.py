if x:
	a
        b
