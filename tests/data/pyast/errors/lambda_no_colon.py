f = lambda x
