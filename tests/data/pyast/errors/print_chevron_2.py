print >> f, x
