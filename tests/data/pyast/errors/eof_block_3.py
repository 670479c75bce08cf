if x:


