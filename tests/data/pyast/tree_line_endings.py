def crlf():
    """Doc with
    CRLF."""
    return {
        "k": 1,
    }
x = 1y = 2