try
    pass
finally:
    pass
