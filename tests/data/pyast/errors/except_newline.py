try:
  x
except
