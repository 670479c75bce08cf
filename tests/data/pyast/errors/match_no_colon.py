def f(x):
    match x
