del a, (b, f())
