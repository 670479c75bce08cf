def f(a=1, /*, b): pass
