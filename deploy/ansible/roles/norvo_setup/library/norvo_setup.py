#!/usr/bin/python3
# Runs the Norvo installer `setup` once on this host, unattended, and says
# what came of it: installed, upgraded or refused.
#
# `setup` ends with status 0 also when it refuses (not enough space, an
# answer of no, not root, a command it could not find), so the status alone
# does not tell. A run that did its work prints nothing on standard output
# but its progress dots, leaves <application directory>/.np_cfg, and its log
# ends with the removal of the work area; anything else is a refusal, and
# the installer's own words are the reason reported.

import os
import subprocess

from ansible.module_utils.basic import AnsibleModule

WELL_KNOWN = "/usr/Norvo/npxx"
LOG_TAIL_LINES = 20


def read_tail(path, count):
    try:
        with open(path, "r", errors="replace") as f:
            return f.read().splitlines()[-count:]
    except OSError:
        return []


def app_dir_after(base):
    if base:
        return os.path.join(base.rstrip("/") or "/", "Norvo", "npxx")
    return os.path.realpath(WELL_KNOWN)


def installer_words(stdout, stderr):
    """The run's own messages: standard output without the progress dots,
    then every error line of standard error."""
    text = "\n".join(line.strip(".").rstrip() for line in stdout.splitlines())
    words = [line for line in text.strip("\n").splitlines()]
    errors = [line for line in stderr.splitlines() if "ERROR" in line]
    return "\n".join(words + errors).strip()


def main():
    module = AnsibleModule(
        argument_spec=dict(
            dist_dir=dict(type="path", required=True),
            base=dict(type="str", default=""),
            work_parent=dict(type="str", default=""),
            timeout=dict(type="int", default=3600),
        ),
        supports_check_mode=False,
    )
    p = module.params
    program = os.path.join(p["dist_dir"], "setup")
    if not os.access(program, os.X_OK):
        module.fail_json(msg="no runnable setup in %s" % p["dist_dir"], outcome="failed")

    previous = os.path.lexists(WELL_KNOWN)
    argv = [program]
    if p["work_parent"]:
        argv.append(p["work_parent"])
    if p["base"]:
        argv += ["install", p["base"]]
    try:
        run = subprocess.run(argv, cwd=p["dist_dir"], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, errors="replace",
                             timeout=p["timeout"])
    except subprocess.TimeoutExpired:
        module.fail_json(msg="setup did not end within %d seconds" % p["timeout"],
                         outcome="failed", cmd=argv)

    log_path = "/tmp/%s.log" % os.path.basename(program)
    log_tail = read_tail(log_path, LOG_TAIL_LINES)
    app_dir = app_dir_after(p["base"])
    words = installer_words(run.stdout, run.stderr)
    result = dict(cmd=argv, rc=run.returncode, stdout=run.stdout, stderr=run.stderr,
                  log_path=log_path, log_tail=log_tail, app_dir=app_dir,
                  previous_installation=previous)

    if run.returncode != 0:
        module.fail_json(msg="setup failed (status %d): %s" % (run.returncode, words or
                                                               "no message"),
                         outcome="failed", **result)
    cleaned_up = bool(log_tail) and "rm -rf" in log_tail[-1]
    installed = os.path.isfile(os.path.join(app_dir, ".np_cfg"))
    if words or not cleaned_up or not installed:
        module.fail_json(msg="setup refused: %s" % (words or "the run ended early"),
                         outcome="refused", **result)
    outcome = "upgraded" if previous else "installed"
    module.exit_json(changed=True, outcome=outcome,
                     msg="%s %s" % (outcome, app_dir), **result)


if __name__ == "__main__":
    main()
