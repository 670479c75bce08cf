# Expressions of every kind, and constants whose repr needs care.
x = (a if b else c) or d and not e
y = -x + +x * ~x @ m / n // o % p ** q << 1 >> 2 | 3 & 4 ^ 5
z = a < b <= c > d >= e == f != g is h is not i in j not in k
f = lambda a, *, b=1, **c: (a, b, c)
g = lambda: (yield)
d = {1: "one", **rest, "two": 2}
s = {1, 2, *others}
l = [*a, *b]
t = (1,)
empty = (), [], {}
comp = [i * j for i in range(10) if i for j in range(i)]
gen = (i for i in data)
sc = {i for i in data}
dc = {k: v for k, v in items.items()}
walrus = [y := 5, y ** 2]
subs = a[1], a[1:2], a[::3], a[1:2, ...], a[b, c:d]
attr = a.b.c(d)(e)[f]
call = func(1, *args, key=value, **kwargs)
strings = ("plain", 'single \'quoted\'', "both ' and \"", b"bytes\x00\xff'", rb"raw\n", u"unicode")
escapes = "\x00\x1f\x7f\x80\x9f\xa0\xad\u0378\u2028\u3000\ufeff\U0001f600\U000e0001 é ü 漢字"
surrogate = "\ud800 and \udfff"
numbers = (0, 1, 9223372036854775807, 9223372036854775808, 0xffffffffffffffffffffffff, 1_000_000)
floats = (0.0, 1.5, 1e16, 1e15, 1e-5, 0.0001, 1e22, 1e309, 2.5e-300, 0.1 + 0.2, 3.14159)
imaginary = (1j, 0j, 1.5j, 1e100j, 1e309j, 1e15j, 1e16j, 2.5e-300J)
singletons = (None, True, False, ...)
fstrings = f"a{b!r:>{width}}c{d=}{e!s}{f!a}{{literal}}"
nested = f"{f'{x}'}" f"{y:{z}.{w}}"
template = t"hello {name!r:>10} and {value}"
concat = "a" "b" 'c'
joined = f"start" "end"
awaited = [await x async for x in y]
starred, *rest = values
a, b = b, a
(c, d), e = pair, last
obj.attr, obj[key] = 1, 2
del obj.attr, obj[key], [p, q]
print(*args, sep="")
interpolations = t"{ {} }{ {} !r}", f"{ {} }"
