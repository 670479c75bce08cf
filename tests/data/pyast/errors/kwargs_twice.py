def f(**k, **j): pass
