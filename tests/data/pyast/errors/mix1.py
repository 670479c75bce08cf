try:
    pass
except E:
    pass
except* F:
    pass
