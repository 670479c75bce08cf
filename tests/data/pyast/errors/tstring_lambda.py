t'{lambda: 1}'
