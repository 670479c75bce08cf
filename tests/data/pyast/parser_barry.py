from __future__ import barry_as_FLUFL

if 1 <> 2:
    x = [a <> b for a, b in pairs]
