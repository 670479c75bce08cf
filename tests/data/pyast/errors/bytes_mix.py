x = b'a' 'b'
