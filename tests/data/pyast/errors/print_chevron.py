print >>sys.stderr, 'x'
