x = 1

@decorator
