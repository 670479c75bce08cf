# Statements and expressions of modern Python.
from __future__ import annotations
import os, sys as system, a.b.c as d
from . import x
from ..pkg.mod import (y as z, w,)
from ... import *
@decorator
@decorator.attr(arg, key=value)
@(lambda f: f)
async def coro[T: int, *Ts, **P](a, b: int = 1, /, c=2, *args: *Ts, d, e: str = "e", **kwargs) -> T:
    async with lock as (l1, l2), other:
        await thing
    async for item in aiter():
        yield item
    result = [x async for x in gen() if x if not x]
    return await other
def f(a, /): pass
def g(*, a, b=1): pass
def h(**kw): pass
def k(a=1, /, b=2, *c, **d): pass
class C(Base, metaclass=Meta, **extra):
    x: int
    y: list[int] = []
    (z): int = 1
    a.b: int
    a[0]: int = 2
    def method(self): return self
class D[T]: pass
class E(): pass
with (open(a) as f, open(b) as g,):
    pass
with (a, b):
    pass
with (a, b) as c:
    pass
with (yield):
    pass
with a as b.c, d as e[0], f as (g, h), i as [j, *k]:
    pass
try:
    pass
except ValueError as e:
    pass
except (TypeError, KeyError):
    pass
except A, B:
    pass
except:
    pass
else:
    pass
finally:
    pass
try:
    pass
except* ValueError:
    pass
except* (A, B) as eg:
    pass
try:
    pass
finally:
    pass
while x := f():
    if a: pass
    elif b: pass
    elif c: pass
    else: break
else:
    continue
for i, (j, *k) in enumerate(z): pass
for x, in y: pass
for [a, b] in c: pass
for a.b[0].c in d: pass
else: pass
a = b = c = 1
a, *b = c, = d
x += 1; y -= 2; z *= 3; w @= m; v /= 2; u //= 3; t %= 4; s **= 2; r >>= 1; q <<= 1; p &= 1; o |= 1; n ^= 1
del a, b[0], c.d, (e, f), [g]
del (a), (b,)
global g1, g2
nonlocal n1
assert x, "message"
raise
raise E
raise E from None
lambda: 0
lambda x, /, y=1, *a, z, **k: x
lambda *, k: k
x = yield
x = yield from y
x = await z if cond else other
print(*args, **kwargs, sep='')
f(x for x in y)
f(a)(b)(c)[d][e].f.g
x[1:2, ::3, a:b:c, *d]
x[:]
x[1:]
x[::]
x[a, b]
x[()]
x[*a]
{**a, 'b': 1, **c}
{1, 2, *s}
{k: v for k, v in items}
{s for s in set_}
[*a, *b]
(*a, b)
(yield x)
not a and b or c
a if b else c if d else e
a < b <= c != d == e > f >= g in h not in i is j is not k
-a + +b - ~c ** -d
a | b ^ c & d << e >> f
a @ b / c // d % e * f
...
None; True; False
x = (
    1,
    2,
)
fib = {(c := a): (a := b) + (b := a + c) - b for __ in range(6)}
print(f"{1+2 = # a comment
  }", f"{'#' = }")
