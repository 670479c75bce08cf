t'{x y}'
