print 'x'
