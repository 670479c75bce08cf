#!/usr/bin/env bash
# Runs the skill-creator benchmark and the plain Python version of the same file work, in one run.
#
#   NORVEX_BUILD_DIR     build tree to use (default: build/default)
#   NORVEX_BENCH_PYTHON  interpreter for the Python side (default: /usr/bin/python3)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
python="${NORVEX_BENCH_PYTHON:-/usr/bin/python3}"
[[ -x "$python" ]] || python="$(command -v python3)"

bench="$(find "$build" -type f -name skills_bench -perm -u+x -print -quit 2>/dev/null || true)"
if [[ -z "$bench" ]]; then
    echo "run_skills.sh: skills_bench not found under $build (cmake --build $build --target skills_bench builds it)" >&2
    exit 1
fi
echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" "$@"
"$python" "$root/bench/python/skills_reference.py"
