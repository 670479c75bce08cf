x = *a
