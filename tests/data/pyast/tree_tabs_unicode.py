def g():
	"""Tabs	inside.
		Two tabs.
	"""
	pass
v = "é漢" + f(a="😀")
