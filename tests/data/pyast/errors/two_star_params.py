def f(*args, *more): pass
