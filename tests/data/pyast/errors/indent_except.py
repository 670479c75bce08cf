try:
    pass
except:
pass
