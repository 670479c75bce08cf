#!/usr/bin/env bash
# Skill-store figures with the real program: log entries kept when 12 processes x 20 creates share a data
# folder, and the longest Python skill name that saves on the file system of the scratch folder.
#
#   NORVEX_BUILD_DIR  build tree to use (default: build/default)
#   NORVEX_SCRATCH    folder for the scratch data folders (default: /tmp)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NORVEX_BUILD_DIR:-$root/build/default}"
norvex="$build/bin/norvex"
if [[ ! -x "$norvex" ]]; then
    echo "run_skills_store.sh: $norvex not found (cmake --build $build --target norvex builds it)" >&2
    exit 1
fi
data="$(mktemp -d -p "${NORVEX_SCRATCH:-/tmp}" norvex_store.XXXXXX)"
trap 'rm -rf "$data"' EXIT
echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(stat -f -c %T "$data")"

for w in $(seq 12); do
    printf '{"name": "worker_%s", "description": "Open notes", "app": "gedit", "category": "productivity", "triggers": ["notes"], "steps": [{"operation": "open_app", "description": "Open it", "params": {}}]}' "$w" > "$data/w$w.json"
done
for w in $(seq 12); do
    (for i in $(seq 20); do "$norvex" skills --data-dir "$data/store" create "$data/w$w.json" >/dev/null; done) &
done
wait
kept="$("$norvex" skills --data-dir "$data/store" --json log --limit 0 | grep -c '"action": ')"
echo "12 processes x 20 creates: $kept of 240 log entries kept"

longest=0
for n in $(seq 200 260); do
    name="$(printf 'p%.0s' $(seq "$n"))"
    printf '{"type": "python", "name": "%s", "description": "d", "code": "async def run(ctx, params):\\n    return 1\\n"}' "$name" > "$data/py.json"
    if "$norvex" skills --data-dir "$data/long" create "$data/py.json" >/dev/null 2>&1; then longest=$n; fi
done
echo "longest Python skill name saved: $longest bytes"
