for lambda: 0 await x:
    pass
