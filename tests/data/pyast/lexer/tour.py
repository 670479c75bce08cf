# A tour of Python 3.14 syntax for the tokenizer's golden test.
from __future__ import annotations

import os, sys as system
from typing import (
    Any,  # comment inside brackets
    Callable,
)


@decorator(arg=1)
class Point[T: (int, float), *Ts, **P](Base, metaclass=Meta):
    """Docstring with 'quotes' and "double quotes"
    spanning lines."""

    x: T = 0x_FF_ff + 0o17 + 0b1_0 + 1_000.5e-3 + 3j + .5 + 1. + 0e0
    y: list[int] = [1, 2, 3,]

    def __init__(self, /, a, *, b=None, **kw) -> None:
        self.a = a if a else b
        total = 0
        for i in range(10):
            if (n := i * 2) > 5 and not i in ():
                total += n ** 2 // 3 % 4 << 1 >> 1 | 2 & 3 ^ ~4
            elif i:
                continue
            else:
                break
        del total


async def fetch(url: str, *args, **kwargs) -> dict[str, Any]:
    async with session.get(url) as resp:
        async for chunk in resp:
            await process(chunk)
    return {**kwargs, "url": url}


def strings():
    a = 'single' "double" r'raw\n' u'unicode'
    a2 = b'bytes' rb"raw bytes" Rb'x' BR"y"
    b = '''triple
single''' + """triple
double"""
    c = 'continued \
line'
    d = f"plain {a!r} spec {b:>{width}.{precision}} debug {c=} {d = !s:^10}"
    e = f'nested {f"{x}" + f'{y}'} {{escaped}} }}{{ {x:%H:%M:%S}'
    f = rf'\d+{pattern}\n' fr"{x}\{y}"
    g = t"template {name} and {value:.2f}"
    h = f'''multi
    {line
     + 1}
    end'''
    i = f"\N{BULLET} {x}\N{DEGREE SIGN}"
    return a, a2, b, c, d, e, f, g, h, i


match command.split():
    case [action]:
        pass
    case ["go", direction] | ["move", direction]:
        type = direction
    case Point(x=0, y=_) if x > 0:
        ...
    case {"key": value, **rest}:
        pass
    case _:
        pass

type Alias[K] = dict[K, list[K]]
lambda x, /, y=1, *z: (x, y, z)
result = [x for x in range(3) if x != 1] @ matrix
x @= y; x //= 2; x **= 3; x >>= 1; x <<= 1; x ^= 1; x |= 1; x &= 1; x %= 1
print(*args, sep='', end="\n")
long_expression = 1 + \
    2
if True:
	tabbed = 1
	if tabbed:
		deeper = 2
ünïcödé = "names"
ﬁle = 1
