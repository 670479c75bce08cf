from __future__ import annotations as ann
