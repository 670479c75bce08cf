#!/usr/bin/env bash
# Times `norvex scan` over a whole Python library folder: wall time per scan and files per second.
#
#   NORVEX_BUILD_DIR   build tree to use (default: build/default)
#   NORVEX_SCAN_DIR    folder to scan (default: /usr/lib/python3.11)
#   NORVEX_SCAN_JOBS   --jobs of the timed command (default: 2)
#   NORVEX_SCAN_RUNS   timed runs (default: 10; one untimed warm-up run comes first)
# Uses hyperfine when it is installed (scripts/install-deps.sh installs it), else times the runs itself.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
dir="${NORVEX_SCAN_DIR:-/usr/lib/python3.11}"
jobs="${NORVEX_SCAN_JOBS:-2}"
runs="${NORVEX_SCAN_RUNS:-10}"
python=/usr/bin/python3
[[ -x "$python" ]] || python="$(command -v python3)"

norvex="$build/bin/norvex"
if [[ ! -x "$norvex" ]]; then
    echo "run_scan.sh: $norvex not found (make bench-scan builds it, or set NORVEX_BUILD_DIR)" >&2
    exit 1
fi
if [[ ! -d "$dir" ]]; then
    echo "run_scan.sh: $dir is not a folder (set NORVEX_SCAN_DIR to a folder of Python files)" >&2
    exit 1
fi

out="$(mktemp -d "${TMPDIR:-/tmp}/norvex_scan_bench.XXXXXX")"
trap 'rm -rf "$out"' EXIT

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
# One scan whose report says how many files a scan covers (and doubles as the warm-up).
"$norvex" scan "$dir" --jobs "$jobs" --json > "$out/report.json"
read -r files analyzed failed < <("$python" -c '
import json, sys
t = json.load(open(sys.argv[1]))["totals"]
print(t["files"], t["analyzed"], t["failed"])' "$out/report.json")
echo "== $dir: $files Python files ($analyzed analyzed, $failed failed), --jobs $jobs, $runs runs"

command="$norvex scan $dir --jobs $jobs --json > /dev/null"
if command -v hyperfine >/dev/null 2>&1; then
    hyperfine --warmup 1 --runs "$runs" --export-json "$out/times.json" "$command"
    times="$("$python" -c '
import json, sys
print(" ".join(str(t) for t in json.load(open(sys.argv[1]))["results"][0]["times"]))' "$out/times.json")"
else
    echo "(hyperfine not installed: timing the runs with date)"
    times=""
    for _ in $(seq "$runs"); do
        start="$(date +%s.%N)"
        "$norvex" scan "$dir" --jobs "$jobs" --json > /dev/null
        end="$(date +%s.%N)"
        times+="$("$python" -c "print($end - $start)") "
    done
fi

"$python" - "$files" $times <<'EOF'
import statistics
import sys

files = int(sys.argv[1])
times = sorted(float(t) for t in sys.argv[2:])
median = statistics.median(times)
mean = statistics.fmean(times)
print(f"wall time per scan: median {median:.3f} s, mean {mean:.3f} s, min {times[0]:.3f} s, max {times[-1]:.3f} s")
print(f"files per second:   {files / median:.0f} (median), {files / times[0]:.0f} (best run)")
EOF
