from __future__ import annotations
def f():
    from __future__ import annotations
