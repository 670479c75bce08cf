def f():
    for x in y:
        try:
            try:
                continue
            finally:
                pass
        finally:
            def g():
                yield
