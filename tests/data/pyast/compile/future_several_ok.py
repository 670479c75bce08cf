from __future__ import annotations
from __future__ import division, generator_stop
import os
