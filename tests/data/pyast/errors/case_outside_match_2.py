case x:
 pass
