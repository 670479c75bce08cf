print(f"{x")
