try:
    pass
except E:
    yield
