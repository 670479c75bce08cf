def f():
    with lock:

    for x in y:
        pass
