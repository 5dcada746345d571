#!/usr/bin/env bash
# usage: scripts/demo.sh
# The main job: builds the project and runs setup. Run as root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
dir=$(bash "$top/scripts/build.sh" | tail -n 1)
"$dir/setup" -v
