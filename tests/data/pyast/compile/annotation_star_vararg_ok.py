def f(*args: *Ts): pass
