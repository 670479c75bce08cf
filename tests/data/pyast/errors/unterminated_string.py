x = 'abc
