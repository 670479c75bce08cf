x: int = 1 +
