x = t'a' 'b'
