a = 1 if b else
