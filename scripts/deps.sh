#!/usr/bin/env bash
# usage: scripts/deps.sh
# Installs, with apt-get, every Debian package the build, the tests and the demo need
# (only those that are missing). Run as root on Debian 12.
set -euo pipefail
pkgs=(g++ cmake ninja-build googletest libgtest-dev libgmock-dev libbenchmark-dev
      ncompress tmux libncurses-dev ncurses-bin util-linux procps coreutils tar gzip sed
      clang-format ansible-core w3m strace man-db groff-base bsdextrautils pkgconf
      clang llvm libclang-rt-14-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
