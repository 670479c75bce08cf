f = lambda x=(yield): 0
