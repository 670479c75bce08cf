with a as (*b, *c): pass
