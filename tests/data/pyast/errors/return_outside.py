x = return
