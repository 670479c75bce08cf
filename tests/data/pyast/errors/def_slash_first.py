def f(/, a): pass
