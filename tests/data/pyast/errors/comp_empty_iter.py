[x for x in]
