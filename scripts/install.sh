#!/usr/bin/env bash
# Installs a build tree under a prefix, stripped, and records what it added so
# that scripts/uninstall.sh removes exactly that: every file, and the folders
# the install made (never one that was there before).
#
# Usage: bash scripts/install.sh BUILD_DIR PREFIX [RECORD]
#   RECORD defaults to BUILD_DIR/install-record.txt: "dir PATH" and "file PATH" lines.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: bash scripts/install.sh BUILD_DIR PREFIX [RECORD]" >&2
  exit 2
fi
build=$1
prefix=$2
record=${3:-$build/install-record.txt}
case "$prefix" in
  /*) ;;
  *) echo "install: PREFIX must be an absolute path, not '$prefix'" >&2; exit 2 ;;
esac
[ -f "$build/cmake_install.cmake" ] || { echo "install: $build is not a configured build folder; run 'make release' first" >&2; exit 2; }

# A trial install into a scratch root shows which folders the real one will make.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" --strip > /dev/null
made_dirs=()
while IFS= read -r -d '' dir; do
  target=${dir#"$stage"}
  [ -n "$target" ] && [ ! -e "$target" ] && made_dirs+=("$target")
done < <(find "$stage" -mindepth 1 -type d -print0 | sort -z)

# Installing again over an earlier install keeps the folders that one made.
if [ -f "$record" ]; then
  while IFS= read -r line; do made_dirs+=("${line#dir }"); done < <(grep '^dir ' "$record")
fi

cmake --install "$build" --prefix "$prefix" --strip
{
  for dir in "${made_dirs[@]}"; do echo "dir $dir"; done | sort -u
  while IFS= read -r file || [ -n "$file" ]; do echo "file $file"; done < "$build/install_manifest.txt"
} > "$record"
echo "install: $(grep -c '^file ' "$record") files under $prefix; 'bash scripts/uninstall.sh $record' (or make uninstall) removes them"
