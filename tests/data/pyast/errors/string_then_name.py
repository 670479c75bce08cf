x = 'a' 'b' c
