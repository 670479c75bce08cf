a = *b, *c
print(*a if b else c)
x, *y = z
