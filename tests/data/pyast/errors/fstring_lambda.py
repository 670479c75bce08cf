f'{lambda: 1}'
