x = 1
return x
