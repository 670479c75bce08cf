with open(x) as f, :
    pass
