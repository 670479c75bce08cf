# Marker comments in their many spellings.
# TODO: write the parser
#todo lower case, no colon
x = 1  # FIXME:: two colons
# HACK
# XXX:    spaced out text    
# NOTE: first marker wins # BUG: second
# TODOS is not a marker
# bug_fix is not one either
s = "# note: inside a string counts"
# Fixme: mixed case
   # xxx indented
# NOTE:
# café TODO: not after the hash
# TODO: caf\u00e9 unicode text
# todo: naïve résumé
# BUG：fullwidth colon is not a separator
def f():
    pass  # TODO: between     x = 1  # NOTE: after a line separator
# XXX: after a form feed
