#!/usr/bin/env bash
# Runs the Python front-end benchmark: pyast::parse against CPython's ast.parse over the same files, in one run.
#
#   NORVEX_BUILD_DIR     build tree to use (default: build/default)
#   NORVEX_BENCH_PYTHON  interpreter for the Python side (default: /usr/bin/python3)
# Arguments go to pyast_bench (folders or files; default /usr/lib/python3.11).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
python="${NORVEX_BENCH_PYTHON:-/usr/bin/python3}"
[[ -x "$python" ]] || python="$(command -v python3)"

bench="$(find "$build" -type f -name pyast_bench -perm -u+x -print -quit 2>/dev/null || true)"
if [[ -z "$bench" ]]; then
    echo "run_pyast.sh: pyast_bench not found under $build (make bench-pyast builds it)" >&2
    exit 1
fi
echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" --python "$python" "$@"
