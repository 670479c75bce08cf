match x:
 case 1 as a.b: pass
