raise E, 'msg'
