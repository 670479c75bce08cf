global __debug__
print(__debug__)
