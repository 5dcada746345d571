#!/usr/bin/env bash
# usage: scripts/test.sh [--sanitize]
# Installs what is missing, builds the project and runs every test with CTest.
# Tests that need root and namespaces (the sandbox) skip, loudly, when not root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
dir=$(bash "$top/scripts/build.sh" "$@" | tail -n 1)
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
