def f(*, **k): pass
