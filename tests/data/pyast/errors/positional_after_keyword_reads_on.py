f(a=1,
  b, c, d=2)
