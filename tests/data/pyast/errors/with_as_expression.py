with a as b + c, d:
 pass
