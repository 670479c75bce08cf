x = f'''abc
