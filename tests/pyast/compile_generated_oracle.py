"""Runs the compile-check oracle test over generated programs: nested scopes, loops and handlers around statements that may fail.

Usage: compile_generated_oracle.py TEST-BINARY [COUNT] [SEED]

Each program nests functions, classes, loops, with, try and match blocks
around statements drawn from a list that mixes plain code with every kind of
error the compile check knows, so that which error comes first (pass order,
source order, scope rules) is what gets compared. Most draws are plain code,
so a fair share of the programs compile. The programs go to a scratch folder
that the test binary reads through NORVEX_PYAST_ORACLE_EXTRA.
"""
import os
import random
import subprocess
import sys
import tempfile

FAILING = [
    "return", "return 1", "yield", "yield x", "x = yield from y", "await x", "x = await y", "break", "continue",
    "del x", "x += 1", "x: int", "global x", "nonlocal x", "global y", "nonlocal y", "import x", "from m import *",
    "from __future__ import annotations", "from __future__ import nope", "f(a=1, a=2)", "*a, *b = c", "*a = c",
    "x = *a", "[(yield) for i in z]", "[await i for i in z]", "(i async for i in z)", "[i async for i in z]",
    "[i := 0 for i in z]", "[x := i for i in z]", "[j for j in (k := z)]", "__debug__ = 1", "lambda: (yield)",
    "lambda: await x", "lambda x, x: 0", "f(__debug__=1)", "x.__debug__ = 1", "(x := 5)", "class D(a=1, a=1): pass",
    "type T = (yield)", "print(super())", "nonlocal __class__", "def q[T](x: T = 1): return x",
    "class P[T: (yield)]: pass", "x: (yield)", "def r(a: (await b)): pass", "{k: (yield) for k in z}",
    "y = [x for x in z if (yield)]", 'print(f"{(yield)}")', "x = (await y for y in z)",
    "with a as (b, *c, *d): pass", "for *e in z: pass", "x = lambda: [await y for y in z]",
]
PLAIN = ["pass", "x = 1", "print(x)", "y = f(a, b=2)", "z = [i for i in z]", "x: int = 2", "a, *b = c", "w = {**d}"]
BLOCKS = [
    "def f{n}(p):", "async def g{n}(p):", "class C{n}:", "for i{n} in z:", "while z:", "if z:", "with m as w{n}:",
    "async with m:", "async for i{n} in z:", "try:", "def h{n}(x, x):", "def k{n}(x):", "match z:", "for-else",
]
HANDLERS = ["except:", "except E:", "except* E:", "finally:", "except:\n{i}    pass\n{i}except E:",
            "except E:\n{i}    pass\n{i}else:"]
CASES = ["case 1:", "case q:", "case _:", "case [q, q]:", "case {1: q, 1: r}:", "case q if q:", "case C(a=1, a=2):",
         "case (q | r):", "case [q] | q:"]


def block(rng, depth, indent, failing_share):
    lines = []
    for _ in range(rng.randint(1, 3)):
        if depth >= 3 or rng.random() >= 0.5:
            lines.append(indent + rng.choice(FAILING if rng.random() < failing_share else PLAIN))
            continue
        head = rng.choice(BLOCKS).format(n=rng.randint(0, 3))
        inner = indent + "    "
        if head == "match z:":
            lines.append(indent + head)
            for case in rng.sample(CASES, 2):
                lines.append(inner + case)
                lines += block(rng, depth + 1, inner + "    ", failing_share)
        elif head == "for-else":
            lines.append(indent + "for e in z:")
            lines += block(rng, depth + 1, inner, failing_share)
            lines.append(indent + "else:")
            lines += block(rng, depth + 1, inner, failing_share)
        else:
            lines.append(indent + head)
            lines += block(rng, depth + 1, inner, failing_share)
            if head == "try:":
                lines.append(indent + rng.choice(HANDLERS).format(i=indent))
                lines += block(rng, depth + 1, inner, failing_share)
    return lines


def main():
    binary = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 314
    rng = random.Random(seed)
    with tempfile.TemporaryDirectory(prefix="pyast_compile_generated_") as scratch:
        for i in range(count):
            share = rng.choice([0.05, 0.15, 0.5])
            with open(os.path.join(scratch, f"generated_{i:05d}.py"), "w", encoding="utf-8") as f:
                f.write("\n".join(block(rng, 0, "", share)) + "\n")
        print(f"{count} generated programs (seed {seed}) in {scratch}")
        env = dict(os.environ, NORVEX_PYAST_ORACLE_EXTRA=scratch)
        return subprocess.run([binary, "--gtest_filter=CompileOracle.parser_samples_match_the_live_answers"],
                              env=env).returncode


if __name__ == "__main__":
    sys.exit(main())
