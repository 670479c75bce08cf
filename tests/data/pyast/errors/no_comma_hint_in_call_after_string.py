return "(" + "|".join(map map(repr, members)) + ")"
