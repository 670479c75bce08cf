"""Syntax of Python 3.12 to 3.14: type parameters, aliases, match, except*, nested f-strings, t-strings."""
from typing import Callable

type Pair[T] = tuple[T, T]
type Handler[**P, R] = Callable[P, R]


class Box[T: (int, str), *Ts]:
    """A box."""
    items: list[T] = []
    KIND = LABEL = "box"

    def get[U = int](self, default: U | None = None) -> T | U:
        # TODO: cache this
        match self.items:
            case [first, *_] if first:
                return first
            case {"key": value, **rest}:
                return value
            case Point(x=0, y=0) | None:
                return default
            case _:
                return default

    async def drain(self) -> None:
        try:
            await self.flush()
        except* ValueError as group:
            log(f"{group!r:>{width}} and {f'{nested}'}")
        except* (TypeError, KeyError):
            pass


def render(name: str) -> str:
    value = t"hello {name}"
    return f"{'a' if name else 'b'}{name=}"


lambda_table = {k: (lambda x: x and k or None) for k in range(3)}
