while x:
pass
