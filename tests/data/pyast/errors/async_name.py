async = 1
