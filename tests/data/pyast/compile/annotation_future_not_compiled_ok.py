from __future__ import annotations
x: f(a=1, a=1)
