def f[ ():
    pass
