lambda *a, *'b': 1
