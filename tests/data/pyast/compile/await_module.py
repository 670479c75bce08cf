await x
