(yield)(a=1, a=1)
