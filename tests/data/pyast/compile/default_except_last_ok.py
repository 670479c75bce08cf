try:
    pass
except E:
    pass
except:
    pass
