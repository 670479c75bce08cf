def f() x:
 pass
