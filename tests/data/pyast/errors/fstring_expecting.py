f'{x y}'
