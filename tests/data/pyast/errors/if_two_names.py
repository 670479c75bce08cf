if a b: pass
