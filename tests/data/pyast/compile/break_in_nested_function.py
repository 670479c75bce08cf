while 1:
    def f():
        break
