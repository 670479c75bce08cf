from __future__ import barry_as_FLUFL
if 1 <> 2 != 3:
    pass
