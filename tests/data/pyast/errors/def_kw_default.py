def f(**k=1): pass
