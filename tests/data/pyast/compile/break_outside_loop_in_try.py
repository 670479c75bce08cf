try:
    break
finally:
    pass
