#!/usr/bin/env python3
"""Checks that the manual page and the bash completion of orvanasync-cli
describe exactly the commands and options its --help lists.

Usage: check_cli_docs.py CLI MANUAL_PAGE COMPLETION SAMPLE_LIBRARY_MAKER

The completion is run for real in bash with bash-completion's helpers, as a
shell would run it after Tab.
"""
import os
import re
import subprocess
import sys
import tempfile

BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run_cli(cli, *args, env=None):
    done = subprocess.run([cli, *args], capture_output=True, text=True, timeout=60, env=env)
    if done.returncode != 0:
        raise SystemExit("%s %s exited with %d: %s" % (cli, " ".join(args), done.returncode, done.stderr))
    return done.stdout


# --help: lines of an option table start with blanks and a dash; the option
# column ends at the first run of two blanks. A placeholder after the names
# ("--source PATH", "--source <PATH>", "--path-map=FROM=TO") means the
# option takes a value.
OPTION_ROW = re.compile(r"^\s+(-\S.*?)(?:\s{2,}|$)")
OPTION_NAME = re.compile(r"(?<![\w-])(--?[A-Za-z0-9?][\w-]*)")


def options_in_help(text):
    """{spelling: takes a value} of every option in a --help text."""
    options = {}
    for line in text.splitlines():
        row = OPTION_ROW.match(line)
        if not row:
            continue
        column = row.group(1)
        names = OPTION_NAME.findall(column)
        rest = OPTION_NAME.sub("", column).replace(",", "").strip(" =")
        for name in names:
            options[name] = bool(rest)
    return options


def commands_in_help(text):
    """The words listed under a "Commands:" heading."""
    commands = []
    in_section = False
    for line in text.splitlines():
        if re.match(r"^\S", line):
            in_section = line.strip().rstrip(":").lower() == "commands"
            continue
        entry = re.match(r"^\s+([a-z][\w-]*)(?:\s{2,}|$)", line)
        if in_section and entry:
            commands.append(entry.group(1))
    return commands


def roff_text(line):
    return line.replace("\\-", "-").replace("\\fB", "").replace("\\fI", "").replace("\\fR", "")


def manual_sections(path):
    """{section name: [the first line of each .TP entry]}"""
    sections = {}
    current = None
    lines = open(path, encoding="utf-8").read().splitlines()
    for index, line in enumerate(lines):
        if line.startswith(".SH "):
            current = line[4:].strip().strip('"')
            sections[current] = []
        elif line.startswith(".TP") and current and index + 1 < len(lines):
            sections[current].append(roff_text(lines[index + 1]))
    return sections


def options_in_manual(path):
    options = set()
    for entry in manual_sections(path).get("OPTIONS", []):
        options.update(OPTION_NAME.findall(entry.split('"')[0] if entry.startswith(".BI") else entry))
    return options


def commands_in_manual(path):
    return [entry.split()[-1] for entry in manual_sections(path).get("COMMANDS", [])]


class Completion:
    """Runs the completion function the way bash does after Tab."""

    def __init__(self, script, cli, env):
        self.script = script
        self.cli = cli
        self.env = env

    def complete(self, *words):
        line = " ".join(words)
        program = (
            'source "$1"; source "$2"; shift 2\n'
            'COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))\n'
            'COMP_LINE="${*}"; COMP_POINT=${#COMP_LINE}\n'
            'complete -p orvanasync-cli >/dev/null || exit 3\n'
            '_orvanasync_cli "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"\n'
            'printf "%s\\n" "${COMPREPLY[@]}"\n'
        )
        done = subprocess.run(
            ["bash", "-c", program, "complete", BASH_COMPLETION, self.script, self.cli, *words[1:]],
            capture_output=True, text=True, timeout=60, env=self.env)
        if done.returncode != 0:
            raise SystemExit("completing %r failed (%d): %s" % (line, done.returncode, done.stderr))
        return [word for word in done.stdout.splitlines() if word]


def main():
    cli, manual, completion_script, make_sample_library = sys.argv[1:5]
    if not os.path.exists(BASH_COMPLETION):
        raise SystemExit("bash-completion is missing: install the packages of scripts/packages.txt")

    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        top_help = run_cli(cli, "--help", env=env)
        commands = commands_in_help(top_help)
        if not commands:
            raise SystemExit("no \"Commands:\" section in orvanasync-cli --help; update this test's reader")
        # Each command's own help, where it has one, may list options of its own.
        help_options = options_in_help(top_help)
        command_options = {}
        for command in commands:
            own = options_in_help(run_cli(cli, command, "--help", env=env))
            command_options[command] = own or help_options
            help_options.update(own)
        long_options = {name for name in help_options if name.startswith("--")}

        # The manual page.
        manual_options = options_in_manual(manual)
        for name in sorted(set(help_options) - manual_options):
            fail("%s is in --help but not in the OPTIONS of %s" % (name, os.path.basename(manual)))
        for name in sorted(manual_options - set(help_options)):
            fail("%s is in the OPTIONS of %s but not in --help" % (name, os.path.basename(manual)))
        if sorted(commands_in_manual(manual)) != sorted(commands):
            fail("the COMMANDS of the manual page %s differ from --help %s" % (commands_in_manual(manual), commands))

        # The completion: commands first, then each command's options.
        completion = Completion(completion_script, cli, env)
        offered_commands = completion.complete("orvanasync-cli", "")
        if sorted(offered_commands) != sorted(commands):
            fail("completion offers the commands %s, --help lists %s" % (offered_commands, commands))
        offered = set(completion.complete("orvanasync-cli", "--"))
        for command in commands:
            for_command = set(completion.complete("orvanasync-cli", command, "--"))
            known = {name for name in command_options[command] if name.startswith("--")}
            for name in sorted(for_command - known):
                fail("completion offers %s after %s, which its --help does not list" % (name, command))
            offered |= for_command
        for name in sorted(long_options - offered):
            fail("completion never offers %s" % name)
        for name in sorted(offered - long_options):
            fail("completion offers %s, which --help does not list" % name)

        # After an option that takes a value comes the value, never another
        # option; after a flag, the options go on.
        for name, takes_value in sorted(help_options.items()):
            if not name.startswith("--") or name in ("--help", "--version", "--help-all"):
                continue
            command = next((c for c in commands if name in command_options[c]), commands[0])
            after = completion.complete("orvanasync-cli", command, name, "--")
            if takes_value and after:
                fail("completion offers %s as the value of %s" % (after[:3], name))
            if not takes_value and not after:
                fail("completion offers no option after the flag %s" % name)

        # --playlists completes the IDs "orvanasync-cli playlists" prints for
        # the --source on the line, after the commas already typed.
        library_folder = os.path.join(home, "sample")
        subprocess.run([sys.executable, make_sample_library, library_folder], check=True, capture_output=True)
        library = os.path.join(library_folder, "Library.xml")
        listed = [row.split("\t")[0] for row in run_cli(cli, "playlists", "--source", library, env=env).splitlines()]
        if len(listed) < 2:
            raise SystemExit("the sample library should have two playlists, it has %s" % listed)
        ids = completion.complete(cli, "sync", "--source", library, "--playlists", "")
        if sorted(ids) != sorted(listed):
            fail("--playlists completes %s, the source has %s" % (ids, listed))
        # The shortest start of the second ID that no other ID shares.
        start = next(listed[1][:n] for n in range(1, len(listed[1]) + 1)
                     if not any(other.startswith(listed[1][:n]) for other in listed if other != listed[1]))
        second = completion.complete(cli, "sync", "--source", library, "--playlists", listed[0] + "," + start)
        if second != [listed[0] + "," + listed[1]]:
            fail("after a comma --playlists completes %s, expected %s" % (second, [listed[0] + "," + listed[1]]))

    if failures:
        print("%d mismatch(es) between --help and the manual page or completion" % len(failures))
        return 1
    print("manual page and completion match --help: %d options, commands %s" % (len(help_options), commands))
    return 0


if __name__ == "__main__":
    sys.exit(main())
