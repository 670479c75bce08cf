"""The Python asyncio pair: the forkyard round trip done with asyncio subprocesses.

One round trip is what a Python manager does per task: create_subprocess_exec
with stdin/stdout/stderr on pipes, write one JSON command line, read the
answer line, write the quit line and await the exit. The worker is
echo_worker.py beside this file (or any program given with --worker).

Prints the figures as a table, and as JSON with --json (to stdout or a file).
"""
import argparse
import asyncio
import json
import math
import os
import statistics
import sys
import time
from asyncio.subprocess import PIPE

HERE = os.path.dirname(os.path.abspath(__file__))
COMMAND = {"action": "ping"}
QUIT = b'{"action": "quit"}\n'


async def round_trip(argv: list[str]) -> None:
    proc = await asyncio.create_subprocess_exec(*argv, stdin=PIPE, stdout=PIPE, stderr=PIPE)
    proc.stdin.write(json.dumps(COMMAND).encode() + b"\n")
    await proc.stdin.drain()
    answer = json.loads(await proc.stdout.readline())
    if not answer.get("success") or answer.get("result") != "pong":
        raise RuntimeError(f"unexpected answer: {answer!r}")
    proc.stdin.write(QUIT)
    await proc.stdin.drain()
    await proc.wait()


def percentile(values: list[float], p: float) -> float:
    """Nearest rank, as forkyard_bench computes it."""
    ordered = sorted(values)
    rank = math.ceil(p / 100 * len(ordered))
    return ordered[max(rank, 1) - 1]


async def sequential(argv: list[str], runs: int, warmup: int) -> dict:
    for _ in range(warmup):
        await round_trip(argv)
    ms = []
    for _ in range(runs):
        start = time.perf_counter()
        await round_trip(argv)
        ms.append((time.perf_counter() - start) * 1e3)
    return {
        "runs": runs,
        "median_ms": statistics.median(ms),
        "p90_ms": percentile(ms, 90),
        "min_ms": min(ms),
        "max_ms": max(ms),
    }


async def in_flight(argv: list[str], tasks: int, lanes: int, repeats: int) -> dict:
    """`lanes` coroutines each running round trip after round trip until `tasks` are done."""
    total_seconds = 0.0
    for _ in range(repeats):
        started = 0

        async def lane() -> None:
            nonlocal started
            while started < tasks:
                started += 1
                await round_trip(argv)

        start = time.perf_counter()
        await asyncio.gather(*(lane() for _ in range(lanes)))
        total_seconds += time.perf_counter() - start
    return {"tasks": tasks * repeats, "in_flight": lanes, "tasks_per_s": tasks * repeats / total_seconds}


async def measure(args: argparse.Namespace) -> dict:
    if args.worker.endswith(".py"):
        argv = [args.python, args.worker]
    else:
        argv = [args.worker]
    await round_trip(argv)  # fails early on a broken worker
    return {
        "python": sys.version.split()[0],
        "worker": argv,
        "sequential": await sequential(argv, args.runs, args.warmup),
        "in_flight": await in_flight(argv, args.tasks, args.in_flight, args.repeats),
    }


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--worker", default=os.path.join(HERE, "echo_worker.py"),
                        help="worker program; a .py file runs under --python")
    parser.add_argument("--python", default=sys.executable, help="interpreter for a .py worker")
    parser.add_argument("--runs", type=int, default=200, help="sequential round trips timed")
    parser.add_argument("--warmup", type=int, default=5, help="sequential round trips before timing")
    parser.add_argument("--tasks", type=int, default=200, help="tasks per throughput run")
    parser.add_argument("--in-flight", type=int, default=5, help="round trips kept in flight")
    parser.add_argument("--repeats", type=int, default=1, help="throughput runs")
    parser.add_argument("--json", nargs="?", const="-", metavar="FILE",
                        help="write the figures as JSON (to stdout when no file is given)")
    args = parser.parse_args()

    figures = asyncio.run(measure(args))
    if args.json:
        text = json.dumps(figures, indent=2)
        if args.json == "-":
            print(text)
        else:
            with open(args.json, "w") as f:
                f.write(text + "\n")
    if args.json != "-":
        seq, thr = figures["sequential"], figures["in_flight"]
        print(f"asyncio pair (Python {figures['python']}, worker {' '.join(figures['worker'])})")
        print(f"  sequential, {seq['runs']} runs: median {seq['median_ms']:.2f} ms, p90 {seq['p90_ms']:.2f} ms, "
              f"min {seq['min_ms']:.2f} ms, max {seq['max_ms']:.2f} ms")
        print(f"  {thr['in_flight']} in flight, {thr['tasks']} tasks: {thr['tasks_per_s']:.1f} tasks/s")


if __name__ == "__main__":
    main()
