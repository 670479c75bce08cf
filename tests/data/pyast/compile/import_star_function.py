def f():
    from x import *
