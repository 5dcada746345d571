#!/usr/bin/env bash
# usage: scripts/demo.sh [BASE]
# The main job: builds the project and the sample distribution (examples/), then runs
# "setup install BASE" (default /opt) for real inside the sandbox and shows what it did:
# the installed tree, the well-known link, .np_cfg, the head of each generated script and
# the log. The host is left exactly as it was. Run as root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
base=${1:-/opt}
bash "$top/scripts/deps.sh"
dir=$(bash "$top/scripts/build.sh" | tail -n 1)
dist=$dir/demo-dist
bash "$top/scripts/mkdist.sh" --force --setup "$dir/setup" "$top/examples" "$dist" >/dev/null

cat > "$dir/demo-inside.sh" <<'INSIDE'
set -u
base=$1 dist=$2
section() { printf '\n==== %s ====\n' "$*"; }
section "./setup -v"
"$dist/setup" -v
section "distribution $dist"
ls -l "$dist"
section "cd $dist && ./setup install $base"
cd "$dist" && ./setup install "$base" </dev/null
status=$?
echo "exit status: $status"
cd /
app=$base/Norvo/npxx
section "installation tree $app"
find "$base/Norvo" -printf '%M %-5u %-5g %p%y\n' | sed 's/d$/\//; s/[fl]$//' | sort -b -k4
section "well-known location"
ls -ld /usr/Norvo/npxx
section "$app/.np_cfg"
printf '[%s]\n' "$(cat "$app/.np_cfg")"
for f in "$app/NorvoPrintnpxx" "$app/NorvoNSF"; do
  section "head of $f"
  head -n 16 "$f"
done
for f in $(find /usr/bin -newer "$dist/setup" -type f 2>/dev/null); do
  section "wrapper $f"
  cat "$f"
done
section "spool area"
find /var/spool/Norvo -printf '%M %p\n'
section "/tmp/setup.log ($(wc -l </tmp/setup.log) lines)"
cat /tmp/setup.log
exit $status
INSIDE
bash "$top/scripts/sandbox.sh" --show-changes -- bash "$dir/demo-inside.sh" "$base" "$dist"
