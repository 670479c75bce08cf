if x:
