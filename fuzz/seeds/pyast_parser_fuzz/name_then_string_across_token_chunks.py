# Edge cases of strings, names and layout.
ñ = ℌ = ﬁ = 1
x = f"{f"{f"{x}"}"}" f"{x=!r:{w}}" f"{'a' 'b'}" rf"\{x}\n" f"{x:{y}{z}>10}"
y = (u"a"
     f"{b}"
     "c"
     )
z = f"""{
    x  # comment inside
    + 1
}"""
w = f"{x
    !r}" if 0 else t"{x
}"
v = lambda: (yield)
try:
    pass
except* A, B:
    pass
def f():
	return 1:%Y-%m-%d}" f"{x:{{}}>5}"
