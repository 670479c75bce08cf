f(True=1)
