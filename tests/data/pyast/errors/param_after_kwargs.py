def f(**k, a): pass
