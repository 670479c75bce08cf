"""Module docstring.

	Indented with a tab, then spaces:
        eight spaces here.
"""
from __future__ import annotations

import os, sys as system
from . import sibling
from ..pkg.mod import (a as b, c)
from os.path import *


class Base(object, metaclass=type):
    '''Class doc.'''

    attr: int = 3
    other: "str"
    (paren): int

    def method(self, a, /, b: int = 2, *args, c, d=4, **kw) -> None:
        """
        Summary line.

            Deeper line.
        """
        global g
        x = y = 1
        x += 2
        del x, y
        assert a, "message"
        return


@decorator
@other.decorator(arg)
async def coroutine[T: int, *Ts, **P](p: T) -> list[T]:
    async with lock as held, other:
        await thing()
    async for item in stream:
        yield item
    result = [i async for i in aiter() if i]
    return result


def control(n):
    'single-quoted doc with a \t tab'
    while n > 0:
        n -= 1
        if n == 5:
            continue
        elif n == 3:
            break
        else:
            pass
    else:
        n = None
    for i, (j, k) in enumerate(pairs):
        print(i, j, k, sep=", ", end="")
    try:
        raise ValueError("bad") from None
    except (TypeError, ValueError) as error:
        raise
    except Exception:
        pass
    else:
        pass
    finally:
        cleanup()
    try:
        pass
    except* OSError as group:
        pass
    with open(path) as f, ctx():
        data = f.read()

    def inner():
        nonlocal n
        n = 1
    return inner


type Alias[K, V = int] = dict[K, V]
match command.split():
    case [action]:
        pass
    case [action, obj, *rest] if obj:
        pass
    case {"key": value, **others}:
        pass
    case Point(x=0, y=0) | Point(1, 2):
        pass
    case None | True | False:
        pass
    case -1 | 1.5 | 2j | -3 + 4j | "s" | b"b" | a.b.c:
        pass
    case (first, *_) as whole:
        pass
    case _:
        pass
