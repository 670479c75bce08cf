(yield) = 1
