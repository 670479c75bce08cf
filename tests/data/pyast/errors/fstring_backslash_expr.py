f'{"\n".join(x)}'
