from __future__ import nope
nonlocal x
