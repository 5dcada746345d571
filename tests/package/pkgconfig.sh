#!/usr/bin/env bash
# usage: tests/package/pkgconfig.sh BUILD_DIR
# Installs the build into a private prefix and builds and runs the toolkit's consumer program
# with nothing but the flags pkg-config gives for the installed norvo.pc.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
pc=$(find "$work/prefix" -name norvo.pc -path '*/pkgconfig/*')
test -n "$pc" || { echo "norvo.pc is not installed" >&2; exit 1; }
# Beside the CMake package, in the same library folder.
test -d "$(dirname "$pc")/../cmake/Norvo" || { echo "norvo.pc is not beside the CMake package" >&2; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pc")
flags=$(pkg-config --cflags --libs norvo)
case $flags in *"$work/prefix"*) ;; *) echo "pkg-config names another place: $flags" >&2; exit 1 ;; esac
# Once with the compiler's words on failure.
g++ -std=c++20 -Wall -Wextra -Werror -o "$work/consumer" "$here/main.cpp" $flags >"$work/log" 2>&1 \
  || { cat "$work/log" >&2; exit 1; }
"$work/consumer"
