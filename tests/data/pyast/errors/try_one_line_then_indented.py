try: pass
        x = 1
