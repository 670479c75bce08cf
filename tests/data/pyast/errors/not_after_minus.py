x = - not y
