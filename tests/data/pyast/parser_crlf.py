# CRLF line endings.
x = f"""a
{y}
b"""
def f():
    return """
    doc
    """
