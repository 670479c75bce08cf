a, *b, *c = d
