#!/usr/bin/env bash
# usage: tests/package/check.sh BUILD_DIR
# Installs the build into a private prefix with cmake --install, checks that every public header of
# the toolkit is there, then configures, builds and runs a separate program that finds the toolkit
# with find_package(Norvo); that build also compiles each header alone.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The toolkit's module headers (the installer's own header is not installed).
headers=(memmgr/MemMgr.h utils/utils.h syscmd/SysCmd.h list/List.h textmenu/TextMenu.h
         nls/NlsUtils.h dbm/Dbm.h help/html.h help/HelpTty.h)
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for h in "${headers[@]}"; do
  test -f "$work/prefix/include/norvo/$h" || { echo "not installed: include/norvo/$h" >&2; exit 1; }
done
# Private headers stay in the source tree.
private=$(find "$work/prefix/include" -name '*Internal.h')
test -z "$private" || { echo "private header installed: $private" >&2; exit 1; }
list=$(IFS=';'; echo "${headers[*]}")
# Quiet when all is well; the compiler's words when a header fails.
run() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }; }
run cmake -S "$here" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  "-DNORVO_HEADERS=$list"
run cmake --build "$work/consumer"
"$work/consumer/consumer"
test -x "$work/prefix/bin/setup"
