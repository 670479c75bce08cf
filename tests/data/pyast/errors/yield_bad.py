x = yield = 1
