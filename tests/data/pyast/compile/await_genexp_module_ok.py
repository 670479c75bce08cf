g = (await x for x in y)
