*a
