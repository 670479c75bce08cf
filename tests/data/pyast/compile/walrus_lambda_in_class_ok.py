class C:
    f = lambda: [y := 1 for x in z]
