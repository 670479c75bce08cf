from __future__ import annotations
from __future__ import nope
