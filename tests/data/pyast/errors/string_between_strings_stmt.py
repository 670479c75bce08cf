x = 'a' b 'c'
