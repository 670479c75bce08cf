if x:
        a
    b
