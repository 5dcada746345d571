#!/usr/bin/env bash
# usage: tests/package/manpages.sh BUILD_DIR
# Installs the build into a private prefix and renders the installed manual pages with man -l:
# each renders without a warning and has its synopsis and the sections an administrator looks for.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
Check() {  # page, synopsis lines...
  local page=$1 text warnings; shift
  test -f "$page" || { echo "not installed: $page" >&2; exit 1; }
  text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>"$work/warnings" | col -b)
  warnings=$(cat "$work/warnings")
  [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
  synopsis=$(sed -n '/^SYNOPSIS$/,/^[A-Z]/p' <<<"$text")
  for line in "$@"; do
    grep -qxF "       $line" <<<"$synopsis" || { echo "$page: no synopsis line '$line' in:" >&2; echo "$text" >&2; exit 1; }
  done
  for section in NAME DESCRIPTION FILES "EXIT STATUS" EXAMPLES; do
    grep -qx "$section" <<<"$text" || { echo "$page: no section $section" >&2; exit 1; }
  done
}
Check "$work/prefix/share/man/man8/setup.8" "setup [work-area-parent] [install base] [-v]" "setup -h|--help"
Check "$work/prefix/share/man/man1/ndbtool.1" "ndbtool [-b base] database command [arguments]"
# Every argument of setup's command line is explained, and every command of ndbtool.
setup=$(MANWIDTH=80 man -l "$work/prefix/share/man/man8/setup.8" | col -b)
for word in work-area-parent "install base" -v "-h, --help"; do
  grep -q "^       $word" <<<"$setup" || { echo "setup.8 does not explain $word" >&2; exit 1; }
done
ndbtool=$(MANWIDTH=80 man -l "$work/prefix/share/man/man1/ndbtool.1" | col -b)
for word in "put key value" "get key" "delete key" "delete-prefix prefix" keys dump \
            "build catalogue" info; do
  grep -q "^       $word" <<<"$ndbtool" || { echo "ndbtool.1 does not explain $word" >&2; exit 1; }
done
