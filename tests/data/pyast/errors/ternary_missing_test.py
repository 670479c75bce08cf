x = a if else b
