with a as f(): pass
