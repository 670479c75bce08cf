with x:
pass
