lambda a=1, b: 0
