print 'a %s' % \
      (x, y, zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz)
