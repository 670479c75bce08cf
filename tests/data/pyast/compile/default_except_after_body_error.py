try:
    return
except:
    pass
except E:
    pass
