__debug__ = 1
