if x:
pass
