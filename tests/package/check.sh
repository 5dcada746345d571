#!/usr/bin/env bash
# usage: tests/package/check.sh BUILD_DIR
# Installs the build into a private prefix with cmake --install, then configures, builds and runs
# a separate program that finds the toolkit with find_package(Norvo).
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$here" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"
test -f "$work/prefix/include/norvo/utils/utils.h"
test -x "$work/prefix/bin/setup"
