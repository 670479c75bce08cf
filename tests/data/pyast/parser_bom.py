"""Module with a byte order mark."""
x = 1
