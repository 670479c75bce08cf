if x:
    from __future__ import annotations
