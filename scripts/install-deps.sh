#!/usr/bin/env bash
# Installs the Debian packages (and the tests' npm packages) of the groups asked for. Safe to run again.
#
# Usage: bash scripts/install-deps.sh [build] [test] [bench]   (no group: all three)
#   build  what building, installing and packaging norvex needs, and what it runs with
#   test   what only the test suites need: GoogleTest, Xvfb and X clients, sway and
#          foot (and, run as root, the user norvex-test that sway runs as), clang's
#          libFuzzer, lintian, ccache, Node.js packages (pyodide, the MCP SDK, the Inspector)
#   bench  what only the benchmarks need
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

build_packages=(
  build-essential cmake ninja-build pkg-config help2man
  libboost1.81-dev libboost-json1.81-dev
  libspdlog-dev libfmt-dev libicu-dev libpcre2-dev libcli11-dev
  libspng-dev zlib1g-dev libdeflate-dev
  libx11-dev libxtst-dev libxext-dev libxrandr-dev
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev
)
test_packages=(
  git python3 python3-pil libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev ccache lintian
  xvfb scrot xterm x11-apps x11-utils xclip xsel
  sway foot
)
bench_packages=(libbenchmark-dev hyperfine)

groups=("$@")
[ "${#groups[@]}" -gt 0 ] || groups=(build test bench)
packages=()
for group in "${groups[@]}"; do
  case "$group" in
    build) packages+=("${build_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    bench) packages+=("${bench_packages[@]}") ;;
    *) echo "install-deps: unknown group '$group'; the groups are build, test and bench" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
echo "install-deps (${groups[*]}): all ${#packages[@]} packages present"

# The npm packages of the tests, each folder pinned by its package-lock.json:
# pyodide (CPython 3.14 as the parser's oracle), the official MCP SDK client and
# the MCP Inspector. Node itself comes from the system.
npm_folder() {  # folder, the package whose presence means done
  local folder=$1 marker=$2
  if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    echo "install-deps: node and npm not found; the tests that need $marker will be skipped" >&2
  elif [ ! -d "$folder/node_modules/$marker" ]; then
    (cd "$folder" && npm ci --no-audit --no-fund)
    echo "install-deps: $marker installed in $folder/node_modules"
  else
    echo "install-deps: $marker present in $folder/node_modules"
  fi
}
if [[ " ${groups[*]} " == *" test "* ]]; then
  # sway refuses to run as root: the Wayland tests start it as this user.
  if [ "$(id -u)" -eq 0 ] && ! getent passwd norvex-test >/dev/null; then
    useradd --system --create-home --shell /usr/sbin/nologin norvex-test
    echo "install-deps: user norvex-test created for the Wayland tests"
  fi
  npm_folder "$root/tests/pyast/oracle" pyodide
  npm_folder "$root/tests/mcp/client" @modelcontextprotocol/inspector
fi
