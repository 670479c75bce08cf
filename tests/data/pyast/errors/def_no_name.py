def ():
    pass
