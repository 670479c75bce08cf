def f():
    return *a, *b
