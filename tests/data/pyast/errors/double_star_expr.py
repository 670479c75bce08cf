x = **a
