x = b'\x4'
