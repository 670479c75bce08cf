[x for x in [y for y in (z := w)]]
