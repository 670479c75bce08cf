from __future__ import *
