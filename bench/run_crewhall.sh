#!/usr/bin/env bash
# Runs the agent-pool benchmark: Crewhall's overhead per task against the same pool in asyncio, in one run.
#
#   NORVEX_BUILD_DIR     build tree to use (default: build/default)
#   NORVEX_BENCH_PYTHON  interpreter for the Python side (default: /usr/bin/python3)
# Arguments go to crewhall_bench (e.g. --benchmark_filter=async_callback).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
python="${NORVEX_BENCH_PYTHON:-/usr/bin/python3}"
[[ -x "$python" ]] || python="$(command -v python3)"

bench="$(find "$build" -type f -name crewhall_bench -perm -u+x -print -quit 2>/dev/null || true)"
if [[ -z "$bench" ]]; then
    echo "run_crewhall.sh: crewhall_bench not found under $build (make bench-crewhall builds it)" >&2
    exit 1
fi
out="$(mktemp -d "${TMPDIR:-/tmp}/norvex_bench.XXXXXX")"
trap 'rm -rf "$out"' EXIT

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" --benchmark_out="$out/crewhall.json" --benchmark_out_format=json "$@"
echo
echo "== the same pool in asyncio: $python bench/python/crewhall_asyncio.py"
"$python" "$root/bench/python/crewhall_asyncio.py" --json "$out/python.json"
echo
"$python" - "$out" <<'PY'
import json, os, sys
out = sys.argv[1]
runs = {b["run_name"].split("/iterations:")[0]: b for b in json.load(open(os.path.join(out, "crewhall.json")))["benchmarks"]}
py = json.load(open(os.path.join(out, "python.json")))
ours = runs.get("BM_CrewhallNoopTasks/async_callback/max_workers_3")
if ours is None:
    sys.exit("no BM_CrewhallNoopTasks/async_callback/max_workers_3 in this run")
print(f"{'10,000 no-op tasks, async status callback, 3 slots':<52}{'best us':>9}{'median us':>11}{'best CPU us':>13}{'median CPU us':>15}")
for label, r in (("Crewhall (one io_context)", ours), ("asyncio + asyncio.Semaphore", py)):
    print(f"{label:<52}{r['best_us_per_task']:>9.3f}{r['median_us_per_task']:>11.3f}"
          f"{r['best_cpu_us_per_task']:>13.3f}{r['median_cpu_us_per_task']:>15.3f}")
ratio = py["median_us_per_task"] / ours["median_us_per_task"]
cpu_ratio = py["median_cpu_us_per_task"] / ours["median_cpu_us_per_task"]
print(f"{'Crewhall lower by (medians)':<52}{'':>9}{ratio:>10.1f}x{'':>13}{cpu_ratio:>14.1f}x")
print(f"\n>= 5x lower overhead per task: {'met' if ratio >= 5 else 'NOT met'} wall clock ({ratio:.1f}x), "
      f"{'met' if cpu_ratio >= 5 else 'NOT met'} CPU time ({cpu_ratio:.1f}x)")
PY
