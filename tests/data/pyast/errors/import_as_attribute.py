import a as b.c
