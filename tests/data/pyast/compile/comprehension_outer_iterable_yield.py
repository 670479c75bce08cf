[x for x in (yield)]
