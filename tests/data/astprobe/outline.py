"""A module with a bit of everything the outline reads.

It has classes, methods in odd places, imports at several depths and
assignments that are and are not symbols.
"""
from __future__ import annotations

import os
import os.path as osp, sys
from . import sibling
from ..parent.module import (first as one, second)
from collections import *

MAX_RETRIES = 3
default_name = other_name = "x"
_PRIVATE_CONSTANT = 1
__all__ = ["Service", "helper"]
A, B = 1, 2
count: int = 0


class Base:
    """Base docstring."""


class Service(Base, metaclass=type):
    """Runs things.

        Indented continuation line.
    """

    retries = MAX_RETRIES
    name = label = "service"
    left, right = 1, 2
    typed: int = 4

    def __init__(self, name: str = "svc", *args, verbose: bool = False, **kwargs) -> None:
        self.name = name

    @property
    def label(self) -> "str":
        return self.name.upper()

    @staticmethod
    @functools.lru_cache(maxsize = 32)
    def build(config: dict[str,
                           int], /, other) -> Service:
        import json
        return json.loads(config)

    async def run(self, task):
        async with self.lock:
            await task()

    if sys.platform == "win32":
        def platform_only(self):
            pass

    class Inner:
        def deep(self):
            def deeper():
                return 1
            return deeper()


def helper(items: list[int], *, key=None) -> int:
    """Sum things up."""
    total = 0
    for item in items:
        if item > 0 and key is None:
            total += item
        elif item < 0 or key:
            total -= item
    return total


async def fetch(url):
    try:
        import urllib.request
    except ImportError:
        return None
    return urllib.request.urlopen(url)


if __name__ == "__main__":
    def main():
        print(helper([1, 2, 3]))
    main()
