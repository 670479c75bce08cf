while x:
    try:
        pass
    finally:
        continue
