#!/usr/bin/env bash
# The Debian package as a user gets it: lintian finds no errors, its control
# fields and files are where Debian wants them, and unpacked into a scratch
# root (not installed) its program runs from there without any environment.
#
# Usage: bash tests/package/check_deb.sh FOLDER   (the folder `make package` wrote the .deb to)
set -euo pipefail
folder=$1
repo_dir=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(norvex VERSION \([0-9.]*\).*/\1/p' "$repo_dir/CMakeLists.txt")
deb="$folder/norvex_${version}_amd64.deb"
[ -f "$deb" ] || { echo "no $deb; 'make package' writes it"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_deb: $*"; exit 1; }

echo "== lintian $(lintian --version | awk '{print $2}')"
lintian --fail-on error --info "$deb" | tee "$scratch/lintian.txt" || fail "lintian reports errors (above)"

echo "== control"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends | tee "$scratch/control.txt"
depends=$(dpkg-deb -f "$deb" Depends)
# dpkg-shlibdeps computed them: the C library and every system library the programs link.
for lib in libc6 libstdc++6 libboost-json1.81.0 libicu72 libspdlog1.10 libx11-6 libxtst6; do
  grep -q "$lib" <<< "$depends" || fail "Depends lacks $lib: $depends"
done

echo "== files"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' > "$scratch/files.txt"
for path in /usr/bin/norvex /usr/lib/norvex/workers/astprobe /usr/lib/norvex/core/libforkyard.so \
            /usr/lib/cmake/norvex/norvexConfig.cmake /usr/share/doc/norvex/copyright \
            /usr/share/doc/norvex/changelog.gz /usr/share/man/man1/norvex.1.gz \
            /usr/share/bash-completion/completions/norvex /usr/include/norvex/core/forkyard/forkyard.hpp; do
  grep -qx "$path" "$scratch/files.txt" || fail "$path is not in the package"
done
outside=$(grep -v '^/usr/\?' "$scratch/files.txt" | grep -vx '/' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

echo "== unpacked"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
grep -q 'Apache-2.0' "$root/usr/share/doc/norvex/copyright" || fail "the copyright file does not name the licence"
for program in "$root/usr/bin/norvex" "$root/usr/lib/norvex/workers/astprobe" "$root/usr/lib/norvex/core/libforkyard.so"; do
  ! readelf -S "$program" | grep -qE '\.symtab|\.debug_' || fail "$program is not stripped"
done
cp "$repo_dir/examples/inventory.py" "$scratch/inventory.py"
# From another folder, with nothing in the environment: run paths and the worker folder are the package's own.
cd /
out=$(env -i "$root/usr/bin/norvex" --version)
[ "$out" = "norvex $version" ] || fail "--version printed '$out'"
env -i "$root/usr/bin/norvex" analyze --json "$scratch/inventory.py" > "$scratch/analysis.json" \
  || fail "norvex analyze failed from the unpacked package"
grep -q '"functions"' "$scratch/analysis.json" || fail "the analysis holds no functions: $(head -c 300 "$scratch/analysis.json")"
zcat "$root/usr/share/man/man1/norvex.1.gz" | grep -q '^\.SH COMMANDS' || fail "the manual page has no COMMANDS section"
bash -c "source '$root/usr/share/bash-completion/completions/norvex'" || fail "the bash completion does not load"
echo "Debian package check passed: $(basename "$deb"), $(du -sh "$root/usr" | cut -f1) unpacked"
