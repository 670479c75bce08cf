#!/usr/bin/env bash
# Installs a build tree into a scratch prefix, builds a consumer against the
# exported package, and checks that it runs from there without LD_LIBRARY_PATH.
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build_dir" --prefix "$scratch/prefix" > "$scratch/install.log"
cmake -S "$source_dir/consumer" -B "$scratch/build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" > "$scratch/configure.log"
cmake --build "$scratch/build" > "$scratch/build.log"

output=$(env -u LD_LIBRARY_PATH "$scratch/build/consumer")
echo "$output"
expected_dir=$(cd "$scratch/prefix/lib/norvex" && pwd -P)/workers
grep -qx "workers: $expected_dir" <<< "$output" || { echo "workers folder is not $expected_dir"; exit 1; }
grep -qx "error: Unknown worker type: painter" <<< "$output" || { echo "unexpected spawn result"; exit 1; }
test -f "$scratch/prefix/lib/norvex/core/libforkyard.so" || { echo "libforkyard.so not in lib/norvex/core"; exit 1; }
echo "install check passed"
