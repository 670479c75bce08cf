a[*b] = c
x: a[*b]
