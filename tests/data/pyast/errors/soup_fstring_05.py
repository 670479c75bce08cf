( } case _ == 
     1 f"{x}" }" >> @ "s" ( is f and raise
