try:
pass
