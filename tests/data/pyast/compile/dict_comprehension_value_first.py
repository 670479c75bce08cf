{(x := 1): (yield) for x in y}
