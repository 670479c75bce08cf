f'{x! r}'
