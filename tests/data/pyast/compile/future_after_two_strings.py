"doc"
"doc2"
from __future__ import annotations
