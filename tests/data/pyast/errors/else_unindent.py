if x:
    pass
  else:
    pass
