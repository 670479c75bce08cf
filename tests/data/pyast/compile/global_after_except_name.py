def f():
    try: pass
    except E as x: pass
    global x
