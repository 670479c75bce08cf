global x
from m import *
