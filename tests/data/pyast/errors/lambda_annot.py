lambda x: int: x
