a = yield from
