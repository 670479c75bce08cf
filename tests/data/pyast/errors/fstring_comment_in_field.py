f'{x # c
}'
