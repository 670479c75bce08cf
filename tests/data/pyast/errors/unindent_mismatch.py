if x:
  y
 z
