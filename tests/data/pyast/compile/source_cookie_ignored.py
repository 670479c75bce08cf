# -*- coding: latin-1 -*-
x = "é"
return
