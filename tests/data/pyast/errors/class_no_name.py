class :
    pass
