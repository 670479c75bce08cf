values = (1 <> 2
