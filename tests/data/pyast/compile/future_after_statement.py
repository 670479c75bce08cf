x = 1
from __future__ import annotations
