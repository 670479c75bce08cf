x: int = 1
global x
