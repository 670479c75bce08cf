#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libboost1.81-dev libboost-json1.81-dev libboost-filesystem1.81-dev
  libspdlog-dev libfmt-dev libicu-dev libpcre2-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  python3
  clang-14 libclang-rt-14-dev
  libspng-dev zlib1g-dev libdeflate-dev xvfb scrot python3-pil xterm x11-apps
  hyperfine
  xclip xsel x11-utils libx11-dev libxtst-dev libxext-dev libxrandr-dev
)

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
echo "install-deps: all ${#packages[@]} packages present"

# The pyast tests compare against CPython 3.14, which runs in Node through
# the pyodide package; Node itself comes from the system.
oracle_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/pyast/oracle"
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "install-deps: node and npm not found; the pyast oracle tests will be skipped" >&2
elif [ ! -d "$oracle_dir/node_modules/pyodide" ]; then
  if [ -f "$oracle_dir/package-lock.json" ]; then
    (cd "$oracle_dir" && npm ci --no-audit --no-fund)
  else
    (cd "$oracle_dir" && npm install --no-audit --no-fund)
  fi
  echo "install-deps: pyodide installed in $oracle_dir/node_modules"
else
  echo "install-deps: pyodide present in $oracle_dir/node_modules"
fi

# The MCP end-to-end test drives `norvex mcp` with the official TypeScript SDK
# client, pinned by tests/mcp/client/package-lock.json.
mcp_client_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/mcp/client"
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "install-deps: node and npm not found; the MCP SDK client test will be skipped" >&2
elif [ ! -d "$mcp_client_dir/node_modules/@modelcontextprotocol/sdk" ]; then
  (cd "$mcp_client_dir" && npm ci --no-audit --no-fund)
  echo "install-deps: the MCP SDK installed in $mcp_client_dir/node_modules"
else
  echo "install-deps: the MCP SDK present in $mcp_client_dir/node_modules"
fi
