del y not in "s" pass
