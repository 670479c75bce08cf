def f(a, a): pass
from __future__ import annotations
