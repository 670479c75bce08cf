#!/usr/bin/env bash
# `make install` and `make uninstall` on a build tree: the install is stripped,
# its norvex runs from any folder with an empty environment, and the uninstall
# leaves the prefix exactly as it was, folders that were there before included.
#
# Usage: bash tests/package/check_make_install.sh BUILD_DIR
set -euo pipefail
build_dir=$1
repo_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_make_install: $*"; exit 1; }

prefix="$scratch/prefix"
# A prefix that already has some of the standard folders, one with a file of someone else's.
mkdir -p "$prefix/bin" "$prefix/share/man/man1"
echo "not ours" > "$prefix/bin/other-tool"
before=$(cd "$prefix" && find . | sort)

record="$scratch/record.txt"
bash "$repo_dir/scripts/install.sh" "$build_dir" "$prefix" "$record" > "$scratch/install.log"
for program in "$prefix/bin/norvex" "$prefix/lib/norvex/workers/astprobe" "$prefix/lib/norvex/core/libforkyard.so"; do
  [ -f "$program" ] || fail "$program was not installed"
  ! readelf -S "$program" | grep -qE '\.symtab|\.debug_' || fail "$program is not stripped"
done
[ -f "$prefix/share/doc/norvex/copyright" ] || fail "the licence was not installed"
[ -f "$prefix/share/bash-completion/completions/norvex" ] || fail "the bash completion was not installed"

cp "$repo_dir/examples/inventory.py" "$scratch/inventory.py"
cd /
env -i "$prefix/bin/norvex" analyze --json "$scratch/inventory.py" > "$scratch/analysis.json" \
  || fail "the installed norvex failed to analyze from /"
grep -q '"functions"' "$scratch/analysis.json" || fail "the analysis holds no functions"

# Installing twice over itself, then uninstalling once, still leaves nothing behind.
bash "$repo_dir/scripts/install.sh" "$build_dir" "$prefix" "$record" > /dev/null
bash "$repo_dir/scripts/uninstall.sh" "$record" > "$scratch/uninstall.log"
after=$(cd "$prefix" && find . | sort)
if [ "$before" != "$after" ]; then
  diff <(echo "$before") <(echo "$after") || true
  fail "the prefix differs from before the install (above)"
fi
[ ! -e "$record" ] || fail "the install record was left behind"
echo "make install check passed: $(grep -c . "$scratch/install.log") lines of install log, uninstall clean"
