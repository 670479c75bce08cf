t'a' f'b' t'c'
