if x:
	for y in z:
		pass
	break
