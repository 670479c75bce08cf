raise from x
