x: (yield) = 1
