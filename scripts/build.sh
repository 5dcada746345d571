#!/usr/bin/env bash
# usage: scripts/build.sh [--sanitize] [BUILD_DIR]
# Configures and builds the project with CMake and Ninja (default folder: build,
# or build-asan with --sanitize). Prints the build folder on the last line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
san=OFF
if [ "${1:-}" = "--sanitize" ]; then san=ON; shift; fi
suffix=""; [ $san = ON ] && suffix=-asan
dir=${1:-$top/build$suffix}
cmake -S "$top" -B "$dir" -G Ninja -DNORVO_SANITIZE=$san -DNORVO_WERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc)"
echo "$dir"
