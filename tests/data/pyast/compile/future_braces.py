from __future__ import braces
