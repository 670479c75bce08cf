f = lambda x: yield
