#!/usr/bin/env bash
# Installs a build tree into a scratch prefix, builds examples/host against the
# exported package and runs it: analyses through a crewhall pool, skills in a data folder.
set -euo pipefail
build_dir=$1
repo_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build_dir" --prefix "$scratch/prefix" > "$scratch/install.log"
cmake -S "$repo_dir/examples/host" -B "$scratch/build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" > "$scratch/configure.log" \
  || { cat "$scratch/configure.log"; exit 1; }
cmake --build "$scratch/build" > "$scratch/build.log" || { cat "$scratch/build.log"; exit 1; }

cp "$repo_dir/examples/inventory.py" "$scratch/inventory.py"
printf 'def broken(:\n' > "$scratch/broken.py"
# No display: the tool declaration then reports the default screen size; nothing is clicked.
output=$(env -u LD_LIBRARY_PATH -u DISPLAY "$scratch/build/norvex_host" "$scratch/data" "$scratch/inventory.py" "$scratch/broken.py")
echo "$output"

expect() { grep -qx -- "$1" <<< "$output" || { echo "missing line: $1"; exit 1; }; }
expect "tool: sourcelens (2 required arguments)"
expect "status complexity of $scratch/inventory.py: running"
expect "task complexity of $scratch/inventory.py: completed"
expect "task complexity of $scratch/broken.py: failed"
expect "skill created: yes (Created skill 'open_reports' v1 (1 steps, category: files). It's now available for use.)"
expect "saved skill: open_reports v1"
expect "computer tool: computer computer_20250124"
# The analysis came from the installed astprobe: complexity entries of the example's functions.
grep -q '"complexity":' <<< "$output" || { echo "no complexity result"; exit 1; }
grep -q '"total_submitted": 2' <<< "$output" || grep -q '"total_submitted":2' <<< "$output" || { echo "pool stats wrong"; exit 1; }
test -f "$scratch/data/skills/open_reports.json" || { echo "skill file not in the data folder"; exit 1; }
echo "host example check passed"
