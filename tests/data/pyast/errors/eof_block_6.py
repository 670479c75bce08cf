if x:
  # abc

