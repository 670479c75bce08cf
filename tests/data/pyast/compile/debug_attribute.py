x.__debug__ = 1
