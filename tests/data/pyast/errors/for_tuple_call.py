for a, f() in x: pass
