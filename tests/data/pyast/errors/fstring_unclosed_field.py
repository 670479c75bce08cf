f'{x'
