def f(__debug__): pass
