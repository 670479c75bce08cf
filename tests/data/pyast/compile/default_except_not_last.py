try:
    pass
except:
    pass
except E:
    pass
