'''Docstring first.'''
from __future__ import annotations, division
from __future__ import (generator_stop as g,)
x = 1
from __future__ import not_checked_after_code
