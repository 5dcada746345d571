#!/usr/bin/env bash
# usage: scripts/sandbox.sh [--tmpfs PATH:SIZE]... [--copy SRC[:DEST]]... [--bind DIR[:DEST]]...
#                           [--chdir DIR] [--show-changes] [--] COMMAND [ARG...]
#        scripts/sandbox.sh --check
#
# Runs COMMAND as root in private mount and PID namespaces (with their own /proc) where
# /usr, /etc, /var and /opt are throwaway copies of the host's (overlayfs, fresh upper layer),
# /tmp is a fresh tmpfs and new top-level directories land in a throwaway root. Everything else
# (/work, /root, /home, /dev, ...) is the host's own. When COMMAND ends, every change to the
# throwaway trees is gone; COMMAND's exit status is passed through.
#
#   --tmpfs PATH:SIZE   mount a fresh tmpfs of SIZE (tmpfs syntax: 2M, 512k, 1G) at PATH, so that df
#                       shows real figures there; repeatable; mounted in the order given
#   --copy SRC[:DEST]   copy the host file or directory SRC into the sandbox before COMMAND runs;
#                       DEST defaults to /tmp/; a DEST ending in '/' is a directory to copy into,
#                       any other DEST is the new name; repeatable; done after all mounts
#   --bind DIR[:DEST]   bind the host directory DIR at DEST (default: the same path); writes there
#                       reach the host; repeatable
#   --chdir DIR         working directory of COMMAND (default: the caller's, or / when that is not
#                       visible inside, e.g. a directory under the host's /tmp)
#   --show-changes      after COMMAND, print on standard output, behind the line
#                       "== sandbox changes ==", one line per changed path: "A path" added,
#                       "M path" replaced or modified, "D path" deleted (directories end in '/')
#   --check             exit 0 when a sandbox can be made here, else print why and exit 125
#
# When this project's own folder (or $NORVO_BINARY_DIR) lies under the host's /tmp, it is bound
# in at its own path, so that its scripts and built programs can run inside.
#
# Exit status: COMMAND's own; 125 when the sandbox cannot be made (not root, no namespaces,
# no overlayfs, bad option). State lives in a private directory under /run (or
# $NORVO_SANDBOX_STATE_PARENT), on a tmpfs that exists only inside the namespace; the
# directory is removed at exit.
set -uo pipefail

readonly FAIL=125
readonly THROWAWAY_TREES=(usr etc var opt)
readonly STATE_PARENT=${NORVO_SANDBOX_STATE_PARENT:-/run}

Die() { echo "sandbox: $*" >&2; exit $FAIL; }

# Why a sandbox cannot be made here; empty when it can.
WhyNotUsable() {
  if [ "$(id -u)" -ne 0 ]; then echo "must be run as root (running as uid $(id -u))"; return; fi
  command -v unshare >/dev/null || { echo "unshare (util-linux) is not installed"; return; }
  command -v pivot_root >/dev/null || { echo "pivot_root (util-linux) is not installed"; return; }
  if ! unshare --mount --pid --fork --kill-child true 2>/dev/null; then
    echo "cannot create mount and PID namespaces (unshare failed)"; return
  fi
  if ! unshare --mount --propagation private sh -c \
      'd=$(mktemp -d "$1/.sbxprobe.XXXXXX") || exit 1
       mount -t tmpfs tmpfs "$d" && mkdir "$d/u" "$d/w" "$d/m" &&
       mount -t overlay overlay -o "lowerdir=/etc,upperdir=$d/u,workdir=$d/w" "$d/m"
       rc=$?; umount -R "$d" 2>/dev/null; rmdir "$d"; exit $rc' sh "$STATE_PARENT" 2>/dev/null; then
    echo "overlayfs cannot be mounted over /etc in a mount namespace"; return
  fi
}

# ---------------------------------------------------------------------------------------------
# Inside the new namespaces (PID 1 there). Arguments: state dir (holding the file opts), command...
# Builds the new root under $state/root, runs the command in a nested mount namespace that
# pivots into it, then (optionally) lists the upper layers, which this outer view still sees.
Inside() {
  local state=$1; shift
  local root=$state/root opts
  opts=$(cat "$state/opts") || Die "cannot read the options"
  mount -t tmpfs -o mode=700 sbxstate "$state" || Die "cannot mount the state tmpfs"
  # Unbindable: the recursive binds of the host's top-level directories below must not
  # carry the sandbox's own state (it lives under /run) into the sandbox.
  mount --make-unbindable "$state" || Die "cannot make the state unbindable"
  # Overlayfs refuses upper layers on an unbindable mount: they get a mount of their own.
  mkdir -p "$root" "$state/layers" || Die "cannot create the root"
  mount -t tmpfs -o mode=700 sbxlayers "$state/layers" || Die "cannot mount the layers tmpfs"
  mount -t tmpfs -o mode=755 sbxroot "$root" || Die "cannot mount the root tmpfs"

  local entry name skeleton=()
  for entry in /* /.[!.]* /..?*; do
    [ -e "$entry" ] || [ -L "$entry" ] || continue
    name=${entry#/}
    skeleton+=("$name")
    if [ -L "$entry" ]; then
      ln -s "$(readlink "$entry")" "$root/$name" || Die "cannot copy the link $entry"
    elif [[ " ${THROWAWAY_TREES[*]} " == *" $name "* ]]; then
      mkdir -p "$state/layers/upper/$name" "$state/layers/work/$name" "$root/$name"
      mount -t overlay overlay \
        -o "lowerdir=/$name,upperdir=$state/layers/upper/$name,workdir=$state/layers/work/$name" \
        "$root/$name" \
        || Die "cannot mount an overlay on /$name"
    elif [ "$name" = tmp ]; then
      mkdir "$root/tmp" && mount -t tmpfs -o mode=1777 sbxtmp "$root/tmp" \
        || Die "cannot mount the fresh /tmp"
    elif [ "$name" = proc ]; then
      mkdir "$root/proc" && mount -t proc proc "$root/proc" || Die "cannot mount /proc"
    elif [ -d "$entry" ]; then
      mkdir "$root/$name" && mount --rbind "$entry" "$root/$name" || Die "cannot bind $entry"
    elif [ -f "$entry" ]; then
      touch "$root/$name" && mount --bind "$entry" "$root/$name" || Die "cannot bind $entry"
    fi
  done
  for name in "${THROWAWAY_TREES[@]}" tmp proc; do
    [ -d "$root/$name" ] || Die "the host has no /$name"
  done

  local kind arg src dest
  while IFS=$'\t' read -r kind arg; do
    case $kind in
      tmpfs)
        dest=${arg%:*}
        MakeMountPoint "$root" "$dest"
        mount -t tmpfs -o "size=${arg##*:},mode=755" sbxscratch "$root$dest" \
          || Die "cannot mount a tmpfs of ${arg##*:} at $dest"
        OWN_MOUNTS+=("$dest") ;;
      bind)
        src=${arg%%:*}; dest=${arg#*:}
        MakeMountPoint "$root" "$dest"
        mount --bind "$src" "$root$dest" || Die "cannot bind $src at $dest" ;;
    esac
  done <<<"$opts"
  while IFS=$'\t' read -r kind arg; do
    [ "$kind" = copy ] || continue
    src=${arg%%:*}; dest=${arg#*:}
    if [[ $dest == */ ]]; then
      MakeMountPoint "$root" "$dest"
      cp -a -- "$src" "$root$dest" || Die "cannot copy $src into $dest"
    else
      MakeMountPoint "$root" "$(dirname -- "$dest")"
      [[ $(realpath -m -- "$root$dest")/ == "$root"/* ]] || Die "$dest leads out of the sandbox"
      cp -a -- "$src" "$root$dest" || Die "cannot copy $src to $dest"
    fi
  done <<<"$opts"

  local wd show=0
  wd=$(sed -n 's/^chdir\t//p' <<<"$opts" | tail -n 1)
  grep -q '^show$' <<<"$opts" && show=1
  [ -n "$wd" ] && [ -d "$root$wd" ] || wd=/

  # The command gets a mount namespace of its own in which the new root is '/'; this outer
  # view keeps seeing the upper layers for the listing of changes.
  unshare --mount --propagation private -- /bin/sh -c '
    cd "$1" && pivot_root . . && umount -l . || exit '$FAIL'
    cd "$2" 2>/dev/null || cd /
    shift 2
    exec "$@"' sbx "$root" "$wd" "$@"
  local rc=$?

  if [ $show = 1 ]; then
    echo "== sandbox changes =="
    ListChanges "$state" "$root" "${skeleton[@]}"
    for dest in "${OWN_MOUNTS[@]}"; do
      (cd "$root$dest" && find . -xdev -mindepth 1 | LC_ALL=C sort) | while IFS= read -r arg; do
        arg=${dest%/}/${arg#./}; [ -d "$root$arg" ] && [ ! -L "$root$arg" ] && arg=$arg/
        echo "A $arg"
      done
    done
  fi
  return $rc
}

OWN_MOUNTS=()   # the --tmpfs mount points made so far (paths inside the sandbox)

# Creates the directory $2 inside the new root $1 unless it exists. Refuses paths that lead out
# of the new root (absolute links) or that would be created in a host directory bound in.
MakeMountPoint() {
  local root=$1 path=$2
  [[ $path == /* ]] || Die "not an absolute path: $path"
  [[ $(realpath -m -- "$root$path")/ == "$root"/* ]] || Die "$path leads out of the sandbox"
  [ -d "$root$path" ] && return
  local top=${path#/}; top=${top%%/*}
  if [ -d "/$top" ] && [ ! -L "/$top" ] && [ "$top" != tmp ] &&
     [[ " ${THROWAWAY_TREES[*]} " != *" $top "* ]]; then
    local probe=$path own inside=0
    while [ ! -e "$root$probe" ]; do probe=$(dirname -- "$probe"); done
    for own in "${OWN_MOUNTS[@]}"; do
      [[ $probe/ == "${own%/}"/* ]] && inside=1
    done
    [ $inside = 1 ] || Die "$path does not exist and would have to be created on the host (in /$top)"
  fi
  mkdir -p -- "$root$path" || Die "cannot create $path"
}

# Lists the changes kept in the upper layers, /tmp and the throwaway root.
ListChanges() {
  local state=$1 root=$2; shift 2
  local known=" $* " name rel path
  for name in "${THROWAWAY_TREES[@]}"; do
    (cd "$state/layers/upper/$name" && find . -mindepth 1 | LC_ALL=C sort) | while IFS= read -r rel; do
      path=/$name/${rel#./}
      rel=$state/layers/upper/$name/$rel
      if [ -c "$rel" ] && [ "$(stat -c %t:%T "$rel")" = 0:0 ]; then
        echo "D $path"
      elif [ -d "$rel" ]; then
        [ -d "$path" ] || echo "A $path/"
      elif [ -e "$path" ] || [ -L "$path" ]; then
        echo "M $path"
      else
        echo "A $path"
      fi
    done
  done
  # /tmp and new top-level entries live in the throwaway root; -xdev keeps the walk out of the
  # host directories bound in (their mount points are skeleton entries) and out of --tmpfs mounts,
  # whose contents the caller lists.
  (cd "$root" && find . -xdev -mindepth 1 | LC_ALL=C sort) | while IFS= read -r rel; do
    path=${rel#.}; name=${path#/}; name=${name%%/*}
    [[ $known == *" $name "* ]] && continue
    [ -d "$root$path" ] && [ ! -L "$root$path" ] && path=$path/
    echo "A $path"
  done
  (cd "$root/tmp" && find . -xdev -mindepth 1 | LC_ALL=C sort) | while IFS= read -r rel; do
    path=/tmp/${rel#./}; [ -d "$root$path" ] && [ ! -L "$root$path" ] && path=$path/
    echo "A $path"
  done
}

# The second start of this script, as PID 1 of the new namespaces (never on the host itself,
# where its mounts would be the host's).
if [ "${1:-}" = --inside ]; then
  [ $$ = 1 ] || Die "--inside is only for the sandbox's own use"
  shift
  Inside "$@"
  exit $?
fi

# ---------------------------------------------------------------------------------------------
# On the host: read the options, check, make the state directory, run, clean up.

opts_text=""
show=0
while [ $# -gt 0 ]; do
  case $1 in
    --tmpfs)
      [ $# -ge 2 ] || Die "--tmpfs needs PATH:SIZE"
      [[ $2 == /*:* && ${2##*:} =~ ^[0-9]+[kKmMgG%]?$ ]] || Die "--tmpfs needs PATH:SIZE, not '$2'"
      [ "${2%:*}" != / ] || Die "--tmpfs cannot replace /"
      opts_text+="tmpfs	$2"$'\n'; shift 2 ;;
    --copy)
      [ $# -ge 2 ] || Die "--copy needs SRC[:DEST]"
      src=${2%%:*}; dest=/tmp/; [[ $2 == *:* ]] && dest=${2#*:}
      [ -e "$src" ] || [ -L "$src" ] || Die "--copy: no such file or directory: $src"
      [[ $dest == /* ]] || Die "--copy: the destination must be absolute: $dest"
      opts_text+="copy	$(realpath -s -- "$src"):$dest"$'\n'; shift 2 ;;
    --bind)
      [ $# -ge 2 ] || Die "--bind needs DIR[:DEST]"
      src=${2%%:*}; dest=$src; [[ $2 == *:* ]] && dest=${2#*:}
      [ -d "$src" ] || Die "--bind: not a directory: $src"
      src=$(realpath -- "$src")
      [[ $dest == /* ]] || Die "--bind: the destination must be absolute: $dest"
      opts_text+="bind	$src:$dest"$'\n'; shift 2 ;;
    --chdir)
      [ $# -ge 2 ] || Die "--chdir needs DIR"
      opts_text+="chdir	$2"$'\n'; shift 2 ;;
    --show-changes) show=1; shift ;;
    --check)
      why=$(WhyNotUsable)
      [ -z "$why" ] || Die "$why"
      exit 0 ;;
    --) shift; break ;;
    -*) Die "unknown option $1 (see the usage line at the top of $0)" ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || Die "no command given (usage: $0 [options] [--] COMMAND [ARG...])"
# /tmp is fresh inside: a checkout or build folder of this project that lies under the host's
# /tmp is bound in at its own path first, so the project's programs and scripts stay reachable.
project=$(cd "$(dirname -- "$(realpath -- "$0")")/.." && pwd -P)
for dir in "$project" "${NORVO_BINARY_DIR:-}"; do
  [ -n "$dir" ] && [ -d "$dir" ] || continue
  dir=$(realpath -- "$dir")
  [ "$dir" = "$project" ] || [[ $dir/ != "$project"/* ]] || continue
  case $dir/ in /tmp/?*) opts_text="bind	$dir:$dir"$'\n'"$opts_text" ;; esac
done
grep -q '^chdir' <<<"$opts_text" || opts_text+="chdir	$(pwd -P)"$'\n'
[ $show = 1 ] && opts_text+="show"$'\n'

why=$(WhyNotUsable)
[ -z "$why" ] || Die "$why"

case $(realpath -m -- "$STATE_PARENT")/ in
  /usr/*|/etc/*|/var/*|/opt/*|/tmp/*) Die "the state must not live under /usr, /etc, /var, /opt or /tmp" ;;
esac
state=$(mktemp -d "$STATE_PARENT/norvo-sandbox.XXXXXX") \
  || Die "cannot create a state directory in $STATE_PARENT"
child=""
Cleanup() {
  [ -n "$child" ] && kill -KILL "$child" 2>/dev/null && wait "$child" 2>/dev/null
  rm -rf --one-file-system "$state"
}
trap Cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
printf '%s' "$opts_text" >"$state/opts"

# In the background so that a signal to this script can end the namespace at once; PID 1 of
# the namespace dies with unshare (--kill-child), and with it every process inside.
exec 3<&0
unshare --mount --propagation private --pid --fork --kill-child -- \
  bash "$(realpath -- "$0")" --inside "$state" "$@" <&3 3<&- &
child=$!
wait "$child"
rc=$?
child=""
exit $rc
