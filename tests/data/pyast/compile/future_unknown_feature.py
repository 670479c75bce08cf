from __future__ import nope
