def f():
    self._pending.clear(=
    x = 1
    y = 2
