a, b: int
