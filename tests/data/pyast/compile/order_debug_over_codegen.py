*a = 1
__debug__ = 1
