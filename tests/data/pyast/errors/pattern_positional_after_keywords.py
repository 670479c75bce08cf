match x:
 case C(a=1, b, c): pass
