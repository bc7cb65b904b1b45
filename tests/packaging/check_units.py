#!/usr/bin/env python3
"""Verifies the systemd user units with systemd-analyze, offline: no
running systemd is needed, only a private runtime folder.

Usage: check_units.py UNIT_FOLDER [CLI | --no-man]

With CLI, the service's command is replaced by that program for the check
(the build's orvanasync-cli is not installed where systemd looks for it);
without it the units are checked as installed, manual pages included unless
--no-man says this machine has none.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def main():
    unit_folder = sys.argv[1]
    cli = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] != "--no-man" else None
    check_manual = cli is None and "--no-man" not in sys.argv
    units = ["orvanasync-sync.service", "orvanasync-sync.timer"]
    with tempfile.TemporaryDirectory() as scratch:
        runtime = os.path.join(scratch, "runtime")
        os.mkdir(runtime, 0o700)
        paths = []
        for unit in units:
            text = open(os.path.join(unit_folder, unit), encoding="utf-8").read()
            if cli:
                text, replaced = re.subn(r"^ExecStart=orvanasync-cli\b", "ExecStart=" + os.path.abspath(cli),
                                         text, flags=re.M)
                if unit.endswith(".service") and replaced != 1:
                    print("FAIL: %s does not start orvanasync-cli" % unit)
                    return 1
            path = os.path.join(scratch, unit)
            with open(path, "w", encoding="utf-8") as copy:
                copy.write(text)
            paths.append(path)
        command = ["systemd-analyze", "--user", "verify"]
        if not check_manual:
            command.insert(2, "--man=no")
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, SYSTEMD_LOG_LEVEL="notice")
        done = subprocess.run(command + paths, capture_output=True, text=True, timeout=120, env=env)
        output = (done.stdout + done.stderr).strip()
        # systemd-analyze exits 0 on an unknown key or section: any line it
        # prints is a fault of the units.
        if done.returncode != 0 or output:
            print("FAIL: %s: exit %d\n%s" % (" ".join(command), done.returncode, output))
            return 1
        print("ok: %s %s" % (" ".join(command), " ".join(units)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
