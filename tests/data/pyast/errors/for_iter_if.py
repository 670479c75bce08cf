for x in range(3) if y: pass
