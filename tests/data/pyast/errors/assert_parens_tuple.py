assert (x, 'msg')
