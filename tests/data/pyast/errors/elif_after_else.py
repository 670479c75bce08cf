if a:
    pass
else:
    pass
elif b:
    pass
