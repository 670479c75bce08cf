class C:
    from x import *
