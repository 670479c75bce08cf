"""Module doc."""
from __future__ import annotations
x: int = 1
