"""A module that compiles."""
from __future__ import annotations

import os
from typing import Any

counter = 0


def outer(a, /, b=1, *args, c, d=2, **kw):
    total = 0

    def inner():
        nonlocal total
        total += 1
        return total

    for i in range(a):
        if i % 2:
            continue
        while b:
            b -= 1
            if b == 3:
                break
        else:
            pass
    try:
        inner()
    except (ValueError, TypeError) as exc:
        raise RuntimeError() from exc
    except Exception:
        pass
    else:
        total = -total
    finally:
        counter_copy = counter
    return [x for x in args if (y := x)], y


async def agen(items):
    async with items as it:
        async for item in it:
            yield await item
    result = [v async for v in items]
    yield result


class Box[T]:
    size: int = 0
    global counter

    def __init__(self, value: T) -> None:
        self.value = value

    @property
    def doubled(self):
        return {k: v * 2 for k, v in self.value.items()}


def gen():
    x = yield 1
    yield from range(x)
    return x


match os.name:
    case "posix" | "nt" as name:
        pass
    case {"key": value, **rest}:
        pass
    case Box(size=1, value=[_, *others]):
        pass
    case _:
        pass

lambda q, *, r=1: q + r
f = lambda: (yield)
