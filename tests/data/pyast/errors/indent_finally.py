try:
    pass
finally:
pass
