x = '\N{foo}'
