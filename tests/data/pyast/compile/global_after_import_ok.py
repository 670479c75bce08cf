def f():
    import x
    global x
