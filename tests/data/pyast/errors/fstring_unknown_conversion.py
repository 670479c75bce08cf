f'{x!z}'
