try:
    x
except ValueError:
finally:
    pass
