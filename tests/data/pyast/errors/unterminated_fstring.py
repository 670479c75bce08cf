x = f'abc
