x = #c
 import ~ % ^
