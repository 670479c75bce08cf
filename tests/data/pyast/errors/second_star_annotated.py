def f(*a, *b: int): pass
