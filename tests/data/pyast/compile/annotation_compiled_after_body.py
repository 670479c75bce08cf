x: f(a=1, a=1)
y = *a
