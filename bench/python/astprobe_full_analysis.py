"""The Python reference's full_analysis over a list of files, timed the way bench/astprobe_bench.cpp times astprobe's.

Usage: astprobe_full_analysis.py LIST-FILE [--repeat N] [--answers FILE]
LIST-FILE holds one path per line. Every file is read once first, so both
sides find it in the page cache; then each pass calls full_analysis(path) on
every file in turn (reading, parsing and all analyses, as the function does).
Prints one JSON object: per file the best time in seconds, the best pass over
all files, and the time parse_file alone takes. With --answers, the answers
(json.dumps of each, Python's default layout) are written one per line, so
the caller can check both sides agree.
"""
import argparse
import gc
import json
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import astprobe_reference as ref  # noqa: E402


def best_of(repeat, fn):
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("list")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--answers")
    args = ap.parse_args()
    with open(args.list, encoding="utf-8") as f:
        paths = [line.rstrip("\n") for line in f if line.strip()]
    for path in paths:
        with open(path, "rb") as f:
            f.read()

    per_file = {}
    for path in paths:
        per_file[path] = best_of(args.repeat, lambda: ref.full_analysis(path))
    total = best_of(args.repeat, lambda: [ref.full_analysis(p) for p in paths])
    parse_only = best_of(args.repeat, lambda: [ref.parse_file(p) for p in paths])

    if args.answers:
        with open(args.answers, "w", encoding="utf-8") as f:
            for path in paths:
                f.write(json.dumps(ref.full_analysis(path)) + "\n")
    print(json.dumps({"python": sys.version.split()[0], "files": len(paths), "best_pass_seconds": total,
                      "parse_seconds": parse_only, "per_file_seconds": per_file}))


if __name__ == "__main__":
    main()
