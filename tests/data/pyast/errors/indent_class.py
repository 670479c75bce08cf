class C:
x = 1
