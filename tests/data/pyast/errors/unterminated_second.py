x = 'abc' 'def
