for x in y z: pass
