#!/usr/bin/env bash
# usage: scripts/mkdist.sh [--setup FILE] [--segment-size SIZE] [--upper] [--margin PERCENT]
#                          [--isize N] [--tsize N] [--reverse] [--omit NAME]... [--unlist NAME]...
#                          [--force] PKGDIR OUTDIR
#
# Makes a distribution directory OUTDIR from the package directory PKGDIR (the folder that holds
# pkg/, with pkg/pkg.list and the package's files):
#   setup                 the installer (--setup FILE; default: $NORVO_BINARY_DIR/setup, else
#                         build/setup of this tree)
#   disks                 the distribution list: "disks isize tsize", the archive segments in
#                         joining order, "end_of_list"
#   isize, tsize          space needed (1K blocks, as df and du -s print them, with a margin) at
#                         the installation base and in the work area
#   pkg_tar.001 ...       Linuxi386Npxx.tar.Z (tar of pkg/, made with compress) split into
#                         segments of SIZE bytes (--segment-size, split syntax: 512, 100K, 1440K;
#                         default 1440K, one diskette each)
#
#   --upper          the medium as a DOS-formatted diskette shows it: DISKS, ISIZE, TSIZE and
#                    PKG_TAR.001 ...; the list's text stays as written (the installer upper-cases
#                    it). Since a DOS file system finds names in any case, isize and tsize are
#                    also written under their lower-case names, which the free-space check asks for.
#   --margin PERCENT added to the measured sizes (default 20)
#   --isize N, --tsize N   write exactly N instead of the measured size
#   --reverse        list the segments in reverse order (a damaged join, for tests)
#   --omit NAME      keep NAME in the list but do not write the file (for tests; repeatable)
#   --unlist NAME    write the file but leave NAME out of the list (for tests; repeatable)
#   --force          empty an existing, non-empty OUTDIR first
# Prints OUTDIR on the last line.
set -euo pipefail

readonly ARCHIVE=Linuxi386Npxx
top=$(cd "$(dirname "$0")/.." && pwd)

Die() { echo "mkdist: $*" >&2; exit 1; }

setup_bin=""
segment_size=1440K
upper=0
margin=20
isize=""
tsize=""
reverse=0
force=0
omit=()
unlist=()
while [ $# -gt 0 ]; do
  case $1 in
    --setup) setup_bin=${2:?--setup needs FILE}; shift 2 ;;
    --segment-size) segment_size=${2:?--segment-size needs SIZE}; shift 2 ;;
    --upper) upper=1; shift ;;
    --margin) margin=${2:?--margin needs PERCENT}; shift 2 ;;
    --isize) isize=${2:?--isize needs N}; shift 2 ;;
    --tsize) tsize=${2:?--tsize needs N}; shift 2 ;;
    --reverse) reverse=1; shift ;;
    --omit) omit+=("${2:?--omit needs NAME}"); shift 2 ;;
    --unlist) unlist+=("${2:?--unlist needs NAME}"); shift 2 ;;
    --force) force=1; shift ;;
    --) shift; break ;;
    -*) Die "unknown option $1 (see the usage line at the top of $0)" ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || Die "usage: $0 [options] PKGDIR OUTDIR"
pkgdir=$(realpath -- "$1")
out=$(realpath -m -- "$2")
[ -f "$pkgdir/pkg/pkg.list" ] || Die "$pkgdir/pkg/pkg.list not found (PKGDIR must hold pkg/)"
[[ $margin =~ ^[0-9]+$ ]] || Die "--margin needs a whole number of percent"
[[ -z $isize || $isize =~ ^[0-9]+$ ]] || Die "--isize needs a whole number"
[[ -z $tsize || $tsize =~ ^[0-9]+$ ]] || Die "--tsize needs a whole number"
command -v compress >/dev/null || Die "compress not found (Debian package ncompress; scripts/deps.sh installs it)"

if [ -z "$setup_bin" ]; then
  setup_bin=${NORVO_BINARY_DIR:-$top/build}/setup
fi
[ -f "$setup_bin" ] && [ -x "$setup_bin" ] || Die "no setup executable at $setup_bin (build it or use --setup)"

case $out/ in
  "$pkgdir"/pkg/*) Die "OUTDIR must not lie inside the package" ;;
esac
if [ -d "$out" ] && [ -n "$(ls -A "$out")" ]; then
  [ $force = 1 ] || Die "$out is not empty (use --force to empty it)"
  find "$out" -mindepth 1 -delete
fi
mkdir -p "$out"

work=$(mktemp -d "${TMPDIR:-/tmp}/mkdist.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The archive: owner and order fixed so that the same package gives the same archive.
(cd "$pkgdir" && tar --sort=name --owner=0 --group=0 --numeric-owner -cf "$work/$ARCHIVE.tar" pkg)
compress -c -f "$work/$ARCHIVE.tar" >"$work/$ARCHIVE.tar.Z"
mkdir "$work/seg"
split -b "$segment_size" -a 3 --numeric-suffixes=1 "$work/$ARCHIVE.tar.Z" "$work/seg/pkg_tar." \
  || Die "cannot split the archive into segments of $segment_size"
mkdir "$work/unpacked"
tar -xf "$work/$ARCHIVE.tar" -C "$work/unpacked"

# Sizes in 1K blocks. Installation base: the unpacked package. Work area at its fullest: the
# copied segments, the joined .tar.Z, the .tar that uncompress makes and the unpacked package.
Blocks() { du -sk "$@" | awk '{ s += $1 } END { print s + 0 }'; }
WithMargin() { echo $(( ($1 * (100 + margin) + 99) / 100 )); }
[ -n "$isize" ] || isize=$(WithMargin "$(Blocks "$work/unpacked")")
[ -n "$tsize" ] || tsize=$(WithMargin "$(Blocks "$work/seg" "$work/$ARCHIVE.tar.Z" "$work/$ARCHIVE.tar" "$work/unpacked")")

Name() { if [ $upper = 1 ]; then echo "${1^^}"; else echo "$1"; fi; }
Listed() { local n; for n in "${unlist[@]}"; do [ "$n" = "$1" ] && return 1; done; return 0; }
Omitted() { local n; for n in "${omit[@]}"; do [ "$n" = "$1" ] && return 0; done; return 1; }

mapfile -t segments < <(cd "$work/seg" && ls | LC_ALL=C sort)
[ $reverse = 1 ] && mapfile -t segments < <(printf '%s\n' "${segments[@]}" | LC_ALL=C sort -r)

# The list: written in lower case, as the maker wrote it; on the upper-case medium the installer
# converts it. Eight segments a line.
{
  line=""
  for n in disks isize tsize; do Listed "$n" && line+="${line:+ }$n"; done
  [ -n "$line" ] && echo "$line"
  line=""; count=0
  for n in "${segments[@]}"; do
    Listed "$n" || continue
    line+="${line:+ }$n"; count=$((count + 1))
    if [ $count = 8 ]; then echo "$line"; line=""; count=0; fi
  done
  [ -n "$line" ] && echo "$line"
  echo end_of_list
} >"$work/disks"
# The installer reads only the first 4096 bytes of the list.
[ "$(stat -c %s "$work/disks")" -lt 4096 ] || Die "the list is longer than 4095 bytes: use larger segments"

echo "$isize" >"$work/isize"
echo "$tsize" >"$work/tsize"

Put() { # Put SRC NAME: writes the medium's file NAME unless it is omitted.
  Omitted "$2" || cp -p "$1" "$out/$(Name "$2")"
}
cp -p "$setup_bin" "$out/setup"
Put "$work/disks" disks
Put "$work/isize" isize
Put "$work/tsize" tsize
if [ $upper = 1 ]; then
  Omitted isize || cp -p "$work/isize" "$out/isize"
  Omitted tsize || cp -p "$work/tsize" "$out/tsize"
fi
for n in "${segments[@]}"; do Put "$work/seg/$n" "$n"; done
echo "$out"
