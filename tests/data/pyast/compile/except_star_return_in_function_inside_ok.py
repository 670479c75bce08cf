try:
    pass
except* E:
    def f():
        return 1
