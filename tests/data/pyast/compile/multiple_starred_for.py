for x, *y, *z in w: pass
