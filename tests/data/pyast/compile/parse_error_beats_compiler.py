return 1
x = (
