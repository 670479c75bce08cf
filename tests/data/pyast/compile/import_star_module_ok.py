from os.path import *
