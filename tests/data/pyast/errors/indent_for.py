for x in y:
pass
