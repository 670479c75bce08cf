f(**a, b)
