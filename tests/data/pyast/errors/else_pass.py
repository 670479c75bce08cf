x = 1 if 2 else pass
