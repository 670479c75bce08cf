x = = 1
'abc