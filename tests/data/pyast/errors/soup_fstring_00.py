lambda is except 1 finally global case except f"{x}" b'b' try & _ "s" @ match } -> [ yield - try & b'b' ... in finally while True @
