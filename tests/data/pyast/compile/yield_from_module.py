x = yield from y
