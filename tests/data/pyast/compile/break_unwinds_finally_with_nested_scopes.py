def f():
    for x in y:
        try:
            break
        finally:
            def g():
                pass
            class C:
                return 1
