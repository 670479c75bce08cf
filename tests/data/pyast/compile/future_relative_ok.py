from .__future__ import x
