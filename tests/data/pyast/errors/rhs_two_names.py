a = b c
