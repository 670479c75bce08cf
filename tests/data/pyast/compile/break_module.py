x = 1
break
