if x:
    pass
elif y:
pass
