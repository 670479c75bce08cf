if x:
# c