x.f(b, a=1, a=2)
