#!/usr/bin/env bash
# Runs the screenshot benchmark on a busy 1920x1080 Xvfb: the executor's "screenshot" action against Pillow, in one run.
#
#   NORVEX_BUILD_DIR     build tree to use (default: build/default)
#   NORVEX_BENCH_PYTHON  interpreter for the Pillow side (default: /usr/bin/python3)
# Arguments go to screenshot_bench (--repeat N).
#
# The screen: two xterms full of text, xlogo and xclock, and two photo-like
# windows (bench/screen_painter), on a private Xvfb found with -displayfd.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
python="${NORVEX_BENCH_PYTHON:-/usr/bin/python3}"
[[ -x "$python" ]] || python="$(command -v python3)"

find_built() { find "$build" -type f -name "$1" -perm -u+x -print -quit 2>/dev/null || true; }
bench="$(find_built screenshot_bench)"
painter="$(find_built screen_painter)"
if [[ -z "$bench" || -z "$painter" ]]; then
    echo "run_screenshot.sh: screenshot_bench or screen_painter not found under $build (make bench-screenshot builds them)" >&2
    exit 1
fi
command -v Xvfb >/dev/null || { echo "run_screenshot.sh: Xvfb is not installed (scripts/install-deps.sh)" >&2; exit 1; }

work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || { echo "run_screenshot.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$work/display")"

text_source=/usr/include/spng.h
[[ -f "$text_source" ]] || text_source=/etc/services
if command -v xterm >/dev/null; then
    xterm -geometry 120x45+0+0 -e sh -c "ls -la /usr/lib/x86_64-linux-gnu | head -100; cat $text_source; sleep 100000" &
    pids+=($!)
    xterm -geometry 100x30+760+420 -bg black -fg green -e sh -c "cat /etc/services; sleep 100000" &
    pids+=($!)
fi
"$painter" 1100 40 760 460 1 & pids+=($!)
"$painter" 40 700 640 360 2 & pids+=($!)
command -v xlogo >/dev/null && { xlogo -geometry 200x200+1700+850 & pids+=($!); }
command -v xclock >/dev/null && { xclock -geometry 160x160+1500+880 & pids+=($!); }
# Timing starts once the desktop is quiet: every window drawn, the terminals'
# output done, the X server idle. A fixed pause is too short on a loaded
# machine and wasteful on an idle one, so the desktop's CPU time is watched
# until it stops growing for a second (or 60 s have passed).
cpu_ticks() {
    local total=0 p
    for p in "$@"; do
        [[ -r /proc/$p/stat ]] || continue
        total=$((total + $(sed 's/.*) //' "/proc/$p/stat" | cut -d' ' -f12,13 | tr ' ' '+')))
    done
    echo "$total"
}
sleep 1
settled=no
quiet=0
for _ in $(seq 120); do
    before="$(cpu_ticks "${pids[@]}")"
    sleep 0.5
    if [[ "$(cpu_ticks "${pids[@]}")" == "$before" ]]; then quiet=$((quiet + 1)); else quiet=0; fi
    if (( quiet >= 2 )); then settled=yes; break; fi
done
[[ $settled == yes ]] || echo "run_screenshot.sh: the desktop is still busy after 60 s; timing anyway" >&2

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
NORVEX_X_SERVER_PID="${pids[0]}" NORVEX_DESKTOP_PIDS="${pids[*]:1}" "$bench" --python "$python" "$@"
