import __future__
from __future__ import annotations
