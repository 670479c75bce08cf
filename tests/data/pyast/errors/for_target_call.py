for f() in x: pass
