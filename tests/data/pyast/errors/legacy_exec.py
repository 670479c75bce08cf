exec code in ns
