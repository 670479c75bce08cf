#!/usr/bin/env bash
# Runs the code-analysis worker benchmark: in process, start-up and one request through forkyard, each against Python.
#
#   NORVEX_BUILD_DIR     build tree to use (default: build/default)
#   NORVEX_BENCH_PYTHON  interpreter for the Python side (default: /usr/bin/python3)
# Arguments go to astprobe_bench (--repeat N, --runs N, --only inprocess|startup|roundtrip|baseline,
# --baseline PROGRAM, FOLDER).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
python="${NORVEX_BENCH_PYTHON:-/usr/bin/python3}"
[[ -x "$python" ]] || python="$(command -v python3)"

bench="$(find "$build" -type f -name astprobe_bench -perm -u+x -print -quit 2>/dev/null || true)"
if [[ -z "$bench" ]]; then
    echo "run_astprobe.sh: astprobe_bench not found under $build (make bench-astprobe builds it)" >&2
    exit 1
fi
# The package's worker, not the tests' stand-in of the same name (tests/tools/workers/astprobe).
worker="$(find "$build" -type f -path '*/lib/norvex/workers/astprobe' -perm -u+x -print -quit 2>/dev/null || true)"

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" --python "$python" "$@"
if [[ -n "$worker" ]] && command -v perf >/dev/null 2>&1; then
    echo "== start-up in CPU time: perf stat -r 100 $worker < /dev/null"
    perf stat -r 100 "$worker" < /dev/null 2>&1 | grep -E "task-clock|page-faults|elapsed" || true
fi
