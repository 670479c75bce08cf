x = f"ab\x0{x}" + y
