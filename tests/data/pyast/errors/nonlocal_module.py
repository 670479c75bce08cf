nonlocal x
