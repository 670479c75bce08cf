x = f"""ab
cd{1}""" \y
