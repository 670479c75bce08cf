f(__debug__=1)
