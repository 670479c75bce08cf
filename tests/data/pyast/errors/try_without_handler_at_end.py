try:
    xyz = 1  # comment
