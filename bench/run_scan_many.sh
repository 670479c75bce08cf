#!/usr/bin/env bash
# Times one `norvex scan` over N generated small Python files: does the cost per file stay flat as N grows?
#
#   bash bench/run_scan_many.sh [N ...]      (default: 10000 100000)
#
#   NORVEX_BUILD_DIR   build tree to use (default: build/default)
#   NORVEX_SCAN_JOBS   --jobs of the scan (default: 2)
#   TMPDIR             where the files are generated (removed afterwards)
# Each file is a few lines of Python with a function, a class and a TODO, so
# a file is two short astprobe tasks and the manager's own cost shows.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
jobs="${NORVEX_SCAN_JOBS:-2}"
python=/usr/bin/python3
[[ -x "$python" ]] || python="$(command -v python3)"
norvex="$build/bin/norvex"
if [[ ! -x "$norvex" ]]; then
    echo "run_scan_many.sh: $norvex not found (build the norvex target, or set NORVEX_BUILD_DIR)" >&2
    exit 1
fi
(( $# > 0 )) || set -- 10000 100000

out="$(mktemp -d "${TMPDIR:-/tmp}/norvex_scan_many.XXXXXX")"
trap 'rm -rf "$out"' EXIT

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $norvex"
for n in "$@"; do
    tree="$out/py$n"
    "$python" - "$tree" "$n" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    folder = os.path.join(root, f"pkg{i // 1000:03d}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"mod{i:06d}.py"), "w") as f:
        f.write(f'"""Module {i}."""\nimport os\n\n\n'
                f"def work_{i}(items, limit={i % 7}):\n"
                f"    # TODO: cache the result\n"
                f"    total = 0\n"
                f"    for item in items:\n"
                f"        if item > limit and item % 2:\n"
                f"            total += item\n"
                f"    return total\n\n\n"
                f"class Holder{i}:\n"
                f"    def get(self):\n"
                f"        return os.getcwd()\n")
PY
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$out/time$n" "$norvex" scan "$tree" --jobs "$jobs" --json > "$out/report$n.json"
    read -r wall user sys rss < "$out/time$n"
    read -r files analyzed failed < <("$python" -c '
import json, sys
t = json.load(open(sys.argv[1]))["totals"]
print(t["files"], t["analyzed"], t["failed"])' "$out/report$n.json")
    "$python" - "$n" "$files" "$analyzed" "$failed" "$wall" "$user" "$sys" "$rss" <<'PY'
import sys
n, files, analyzed, failed = map(int, sys.argv[1:5])
wall, user, system = map(float, sys.argv[5:8])
rss_mib = int(sys.argv[8]) / 1024
print(f"{n:>7} files ({analyzed} analyzed, {failed} failed): wall {wall:.1f} s, "
      f"{1000 * wall / files:.2f} ms per file; CPU with the workers: user {user:.1f} s, system {system:.1f} s; "
      f"largest RSS {rss_mib:.0f} MiB")
PY
    rm -rf "$tree"
done
