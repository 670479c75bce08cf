lambda a=: 0
