def first():
    x = """multi
line string""" + 'tail'
    return (x,
            x)

class Multi(
    Base,
):
    """

    Leading blank lines, a trailing space line and trailing blank lines.
      Indented more.
    
    """
    value = [
        1,
        2,
    ]

x = 1; y = 2; z = (
    3
)
