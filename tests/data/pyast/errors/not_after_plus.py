x = p1 + not p2 + k1
