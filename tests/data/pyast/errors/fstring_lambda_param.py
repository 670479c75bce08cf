f'{lambda x: 1}'
