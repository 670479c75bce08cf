#!/usr/bin/env bash
# Removes what scripts/install.sh installed: the files it recorded, then the
# folders it made, deepest first, where they are empty.
#
# Usage: bash scripts/uninstall.sh RECORD   (make uninstall: build/release/install-record.txt)
set -euo pipefail

record=${1:-}
if [ -z "$record" ] || [ ! -f "$record" ]; then
  echo "uninstall: no install record${record:+ at $record}; it is written by 'make install' (scripts/install.sh)" >&2
  exit 2
fi

removed=0
while IFS= read -r line; do
  case "$line" in
    "file "*) rm -f -- "${line#file }" && removed=$((removed + 1)) ;;
  esac
done < "$record"
# Deepest first, so a folder is empty by the time its parent is tried.
grep '^dir ' "$record" | cut -c5- | sort -r | while IFS= read -r dir; do
  rmdir -- "$dir" 2>/dev/null || true
done
rm -f -- "$record"
echo "uninstall: removed $removed files"
