print 'a %s' % x
