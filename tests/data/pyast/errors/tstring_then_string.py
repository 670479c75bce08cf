t'a' 'b'
