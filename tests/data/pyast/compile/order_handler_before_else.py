try:
    pass
except E:
    nonlocal a
else:
    nonlocal b
