class C:
    [y := 0 for i in range(3)]
