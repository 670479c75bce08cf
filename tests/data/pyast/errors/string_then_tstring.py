'a' t'b'
