match x:
 case 1 as _: pass
