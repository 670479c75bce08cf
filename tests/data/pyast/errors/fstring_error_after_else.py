x = 1 if y else f'{x!r=}'
