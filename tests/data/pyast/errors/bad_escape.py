x = '\xz'
