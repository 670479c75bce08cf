"""CPython's ast.parse over a list of files, timed the way bench/pyast_bench.cpp times pyast::parse.

Usage: pyast_parse_baseline.py LIST-FILE [--repeat N]
LIST-FILE holds one path per line. Every file is read into memory first; only
the parsing is timed, the best of N passes over all files. Prints one JSON
object: files, bytes, best seconds, bytes per second, the best pass's CPU
seconds (steadier than the wall clock on a loaded machine), and any file that
did not parse (those are left out of the figures).
"""
import argparse
import ast
import gc
import json
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("list")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    with open(args.list, encoding="utf-8") as f:
        paths = [line.rstrip("\n") for line in f if line.strip()]
    sources, rejected = [], []
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        try:
            ast.parse(data)
        except (SyntaxError, ValueError) as e:
            rejected.append(f"{path}: {e}")
            continue
        sources.append(data)
    total = sum(len(s) for s in sources)
    best = best_cpu = float("inf")
    for _ in range(args.repeat):
        gc.collect()
        start, start_cpu = time.perf_counter(), time.process_time()
        for data in sources:
            ast.parse(data)
        best = min(best, time.perf_counter() - start)
        best_cpu = min(best_cpu, time.process_time() - start_cpu)
    print(json.dumps({"files": len(sources), "bytes": total, "seconds": best,
                      "bytes_per_second": total / best, "cpu_seconds": best_cpu, "rejected": rejected}))


if __name__ == "__main__":
    main()
