#!/usr/bin/env bash
# usage: tests/deploy/ansible_check.sh BUILD_DIR
# Runs the rollout playbook for real with ansible-playbook against localhost
# (connection local) inside the project's sandbox, so the host stays as it
# was: a fresh installation, a second run that upgrades, and a run whose
# work area is too small, which must be reported as a failed host with the
# installer's own message. Each host's log and outcome must be kept.
# Exit 77 (a skip) when there is no sandbox here or no ansible-playbook.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?usage: ansible_check.sh BUILD_DIR}
build=$(cd "$build" && pwd)

skip() { echo "SKIPPED: $*" >&2; exit 77; }
why=$(bash "$top/scripts/sandbox.sh" --check 2>&1) || skip "no sandbox: $why"
command -v ansible-playbook >/dev/null ||
  skip "ansible-playbook is not installed (scripts/deps.sh installs ansible-core)"

export NORVO_BINARY_DIR=$build
exec bash "$top/scripts/sandbox.sh" --tmpfs /scratch:64k -- bash -s "$top" "$build" <<'INSIDE'
set -uo pipefail
top=$1 build=$2
fails=0 passes=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; passes=$((passes + 1)); else echo "FAILED: $1"; fails=$((fails + 1)); fi
}
export HOME=/tmp/home ANSIBLE_LOCAL_TEMP=/tmp/home/.ansible/tmp ANSIBLE_NOCOLOR=1
mkdir -p "$HOME"
bash "$top/scripts/mkdist.sh" --setup "$build/setup" "$top/examples" /tmp/dist >/dev/null ||
  { echo "FAILED: mkdist"; exit 1; }
cat > /tmp/inventory.ini <<'INV'
[norvo_servers]
localhost ansible_connection=local ansible_python_interpreter=/usr/bin/python3
INV
play() {  # play NAME [EXTRA VARS...]: runs the playbook, keeps its output and logs
  local name=$1; shift
  ansible-playbook -i /tmp/inventory.ini "$top/deploy/ansible/site.yml" \
    -e norvo_dist_src=/tmp/dist -e norvo_log_dir=/tmp/logs/$name "$@" \
    > /tmp/$name.out 2>&1
  echo $? > /tmp/$name.rc
  sed 's/^/  | /' /tmp/$name.out | tail -n 25
}

echo "== fresh installation"
play fresh -e norvo_install_base=/opt
check "the fresh run succeeds" grep -qx 0 /tmp/fresh.rc
check "the installed tree is there" test -f /opt/Norvo/npxx/.np_cfg
check "the host is reported installed" grep -q 'localhost: installed /opt/Norvo/npxx' /tmp/fresh.out
check "the host's log is kept" grep -q 'initializing system' /tmp/logs/fresh/localhost/setup.log
check "the outcome is kept" grep -qx 'outcome: installed' /tmp/logs/fresh/localhost/outcome.txt
check "the distribution stays on the host" test -x /var/tmp/norvo-dist/setup

echo "== second run over the same host"
play again -e norvo_install_base=/opt
check "the second run succeeds" grep -qx 0 /tmp/again.rc
check "the host is reported upgraded" grep -q 'localhost: upgraded /opt/Norvo/npxx' /tmp/again.out
check "its outcome is kept" grep -qx 'outcome: upgraded' /tmp/logs/again/localhost/outcome.txt
check "the well-known link still names the tree" test "$(readlink /usr/Norvo/npxx)" = /opt/Norvo/npxx

echo "== a work area too small"
play small -e norvo_install_base=/opt -e norvo_work_parent=/scratch
check "the refused run fails the playbook" test "$(cat /tmp/small.rc)" != 0
check "the host is a failed host" grep -Eq 'localhost +: .*failed=1' /tmp/small.out
check "with the installer's message" grep -q "setup refused: There isn't enough space in /scratch/NorvoInstall" /tmp/small.out
check "its outcome is kept" grep -qx 'outcome: refused' /tmp/logs/small/localhost/outcome.txt
check "its log is kept" test -s /tmp/logs/small/localhost/setup.log
check "the installation is untouched" test -f /opt/Norvo/npxx/.np_cfg

echo "$passes passed, $fails failed"
exit $((fails > 0))
INSIDE
