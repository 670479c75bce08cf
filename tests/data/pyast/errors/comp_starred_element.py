[*a for a in b]
