class C(A,:
    x = 1
    y = 2
