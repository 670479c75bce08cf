del f()
