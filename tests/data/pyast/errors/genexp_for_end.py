f(a for a in b for)
