lambda *a=1: 0
