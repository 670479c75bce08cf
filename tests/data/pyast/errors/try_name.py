try x:
 pass
