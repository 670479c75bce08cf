b'b' - \
 f"{x}" async ~ 2.5
