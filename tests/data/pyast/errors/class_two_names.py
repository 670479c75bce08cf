class C x:
 pass
