#!/usr/bin/env bash
# Runs the forkyard round-trip benchmark and the Python asyncio pair one after
# the other, then prints the comparison. Builds nothing: `make bench` builds
# first. Arguments are passed on to forkyard_bench (e.g. --benchmark_filter).
#
#   NORVEX_BUILD_DIR     build tree to use (default: build/default)
#   NORVEX_BENCH_PYTHON  interpreter for the Python side (default: /usr/bin/python3)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
python="${NORVEX_BENCH_PYTHON:-/usr/bin/python3}"

if [[ ! -x "$python" ]]; then
    python="$(command -v python3 || true)"
    [[ -n "$python" ]] || { echo "run.sh: no Python interpreter found" >&2; exit 1; }
fi
if [[ ! -d "$build" ]]; then
    echo "run.sh: no build tree at $build (run 'make bench', or set NORVEX_BUILD_DIR)" >&2
    exit 1
fi

bench="$build/bin/forkyard_bench"
if [[ ! -x "$bench" ]]; then
    bench="$(find "$build" -type f -name forkyard_bench -perm -u+x -print -quit)"
fi
if [[ -z "$bench" || ! -x "$bench" ]]; then
    echo "run.sh: forkyard_bench not found under $build (configure with NORVEX_BUILD_BENCH=ON and build it)" >&2
    exit 1
fi
native_worker="$build/bench/workers/freerig"
if [[ ! -x "$native_worker" ]]; then
    native_worker="$(find "$build" -type f -path '*/bench/workers/freerig' -perm -u+x -print -quit)"
fi

out="$(mktemp -d "${TMPDIR:-/tmp}/norvex_bench.XXXXXX")"
trap 'rm -rf "$out"' EXIT

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== forkyard: $bench"
"$bench" --benchmark_out="$out/forkyard.json" --benchmark_out_format=json "$@"

echo
echo "== Python asyncio pair: $python, worker bench/python/echo_worker.py"
"$python" "$root/bench/python/roundtrip.py" --python "$python" --json "$out/python.json"

if [[ -n "$native_worker" ]]; then
    echo
    echo "== Python asyncio with the native worker (for reference)"
    "$python" "$root/bench/python/roundtrip.py" --worker "$native_worker" --json "$out/python_native.json"
fi

echo
"$python" - "$out" <<'EOF'
import json
import os
import sys

out = sys.argv[1]


def load(name):
    path = os.path.join(out, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


runs = {}
for b in (load("forkyard.json") or {}).get("benchmarks", []):
    runs[b["run_name"].split("/iterations:")[0]] = b
python = load("python.json")
python_native = load("python_native.json")


def cell(value, fmt):
    return format(value, fmt) if value is not None else "-"


def fy(name, key):
    return runs.get(name, {}).get(key)


native_ms = fy("BM_ForkyardRoundTrip/libc_worker", "median_ms")
native_p90 = fy("BM_ForkyardRoundTrip/libc_worker", "p90_ms")
native_tps = fy("BM_ForkyardInFlight", "tasks_per_s")
py_ms = python["sequential"]["median_ms"] if python else None
py_p90 = python["sequential"]["p90_ms"] if python else None
py_tps = python["in_flight"]["tasks_per_s"] if python else None

rows = [
    ("forkyard + native worker", native_ms, native_p90, native_tps),
    ("asyncio + Python worker", py_ms, py_p90, py_tps),
]
print(f"{'one task, spawn to exit':<44}{'median ms':>10}{'p90 ms':>9}{'tasks/s, 5 in flight':>22}")
for label, median, p90, tps in rows:
    print(f"{label:<44}{cell(median, '.3f'):>10}{cell(p90, '.3f'):>9}{cell(tps, '.0f'):>22}")
ratio = py_ms / native_ms if native_ms and py_ms else None
tps_ratio = native_tps / py_tps if native_tps and py_tps else None
print(f"{'forkyard faster by':<44}{cell(ratio, '.1f') + 'x':>10}{'':>9}{cell(tps_ratio, '.1f') + 'x':>22}")

print("for reference:")
reference = [
    ("forkyard + worker loading libstdc++", fy("BM_ForkyardRoundTrip/libstdcxx_worker", "median_ms"),
     fy("BM_ForkyardRoundTrip/libstdcxx_worker", "p90_ms"), None),
    ("forkyard spawn_many, batches of 5", None, None, fy("BM_ForkyardSpawnMany", "tasks_per_s")),
    ("WorkerProcess alone (no manager)", fy("BM_WorkerProcessRoundTrip", "median_ms"),
     fy("BM_WorkerProcessRoundTrip", "p90_ms"), None),
    ("bare posix_spawn + blocking pipes (floor)", fy("BM_BareSpawnFloor", "median_ms"),
     fy("BM_BareSpawnFloor", "p90_ms"), None),
]
if python_native:
    reference.append(("asyncio + native worker", python_native["sequential"]["median_ms"],
                      python_native["sequential"]["p90_ms"], python_native["in_flight"]["tasks_per_s"]))
for label, median, p90, tps in reference:
    print(f"  {label:<42}{cell(median, '.3f'):>10}{cell(p90, '.3f'):>9}{cell(tps, '.0f'):>22}")

if native_ms is not None and ratio is not None:
    print()
    print(f"median <= 2 ms: {'met' if native_ms <= 2.0 else 'NOT met'} ({native_ms:.3f} ms); "
          f">= 10x the Python pair: {'met' if ratio >= 10 else 'NOT met'} ({ratio:.1f}x)")
EOF
