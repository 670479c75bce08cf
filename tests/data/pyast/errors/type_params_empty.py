def f[](): pass
