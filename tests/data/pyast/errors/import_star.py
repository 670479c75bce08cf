import *
