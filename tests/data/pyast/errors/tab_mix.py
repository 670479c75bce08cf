def f():
	pass
        pass
