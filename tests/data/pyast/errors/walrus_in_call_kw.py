f(a=)
