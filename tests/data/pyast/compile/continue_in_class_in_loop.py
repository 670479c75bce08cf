while 1:
    class C:
        continue
