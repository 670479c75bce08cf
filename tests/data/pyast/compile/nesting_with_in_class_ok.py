class C:
    for a in b:
        def f():
            while x:
                pass
