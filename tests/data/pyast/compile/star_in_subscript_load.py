x = a[*b]
