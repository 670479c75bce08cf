f(a,, b)
