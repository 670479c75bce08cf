import a as {b # c
import d
