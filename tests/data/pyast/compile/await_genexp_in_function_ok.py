def f():
    def g(): return (await x for x in y)
