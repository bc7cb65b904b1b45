#!/usr/bin/env python3
"""Checks that the manual page and the bash completion of orvanasync-cli
describe exactly the commands and options its --help lists.

Usage: check_cli_docs.py CLI MANUAL_PAGE COMPLETION SAMPLE_LIBRARY_MAKER
       check_cli_docs.py --options-only PROGRAM MANUAL_PAGE

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


# --help: sections start with a heading in column 0 ending in ":"
# ("Commands:", "Options (...):", "Settings (...):"); their entries are
# indented, with a head, two blanks and a description that may go on in
# deeper-indented lines.
OPTION_NAME = re.compile(r"(?<![\w-])(--?[A-Za-z0-9?][\w-]*)")
ENTRY = re.compile(r"^( {1,8})(\S.*?)(?: {2,}(.*)|$)")


def help_sections(text):
    """{first word of the heading, lower case: [(head, description)]}"""
    sections = {}
    entries = None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            entries = sections.setdefault(line.split()[0].rstrip(":").lower(), [])
            continue
        if not line.strip() or re.match(r"^\S", line):
            entries = None
            continue
        if entries is None:
            continue
        entry = ENTRY.match(line)
        if entry:
            entries.append([entry.group(2), entry.group(3) or ""])
        elif entries:
            entries[-1][1] += " " + line.strip()
    return sections


class HelpOption:
    def __init__(self, head, description, all_commands):
        self.names = OPTION_NAME.findall(head)
        # A placeholder after the names ("--source=PATH", "--source <PATH>")
        # means the option takes a value.
        self.takes_value = bool(OPTION_NAME.sub("", head).replace(",", "").strip(" ="))
        # "[sync and playlists]" at the end names the commands; none: all.
        tag = re.search(r"\[([a-z, -]+)\]\s*$", description)
        self.commands = re.split(r",\s*|\s+and\s+", tag.group(1)) if tag else list(all_commands)


def read_help(text):
    sections = help_sections(text)
    commands, subcommands = [], {}
    for head, _ in sections.get("commands", []):
        name, _, synopsis = head.partition(" ")
        commands.append(name)
        if "|" in synopsis:
            subcommands[name] = [alternative.split()[0] for alternative in synopsis.split("|")]
    options = [HelpOption(head, description, commands)
               for head, description in sections.get("options", []) if head.startswith("-")]
    keys = [head for head, _ in sections.get("settings", [])]
    return commands, subcommands, options, keys


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
        options.update(OPTION_NAME.findall(entry))
    return options


def first_words(path, section):
    return [entry.split()[1] for entry in manual_sections(path).get(section, []) if len(entry.split()) > 1]


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


def compare_options(program, manual, env):
    """The manual page's OPTIONS against the program's --help; the options."""
    options = read_help(run_cli(program, "--help", env=env))[2]
    if not options:
        raise SystemExit("no options found in %s --help; update this test's reader" % program)
    spellings = {name for option in options for name in option.names}
    page = os.path.basename(manual)
    in_manual = options_in_manual(manual)
    for name in sorted(spellings - in_manual):
        fail("%s is in --help but not in the OPTIONS of %s" % (name, page))
    for name in sorted(in_manual - spellings):
        fail("%s is in the OPTIONS of %s but not in --help" % (name, page))
    return options


def main_options_only(program, manual):
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), QT_QPA_PLATFORM="offscreen")
        options = compare_options(program, manual, env)
    if failures:
        return 1
    print("%s matches %s --help: %d options" % (os.path.basename(manual), os.path.basename(program), len(options)))
    return 0


def main():
    if sys.argv[1] == "--options-only":
        return main_options_only(*sys.argv[2:4])
    cli, manual, completion_script, make_sample_library = sys.argv[1:5]
    if not os.path.exists(BASH_COMPLETION):
        raise SystemExit("bash-completion is missing: install the packages of scripts/packages.txt")

    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        commands, subcommands, options, keys = read_help(run_cli(cli, "--help", env=env))
        if not commands:
            raise SystemExit("no commands found in orvanasync-cli --help; update this test's reader")
        spellings = {name for option in options for name in option.names}
        long_options = {name: option for option in options for name in option.names if name.startswith("--")}

        # The manual page: the same options, commands and settings keys.
        page = os.path.basename(manual)
        compare_options(cli, manual, env)
        if first_words(manual, "COMMANDS") != commands:
            fail("the COMMANDS of %s are %s, --help lists %s" % (page, first_words(manual, "COMMANDS"), commands))
        if sorted(first_words(manual, "SETTINGS")) != sorted(keys):
            fail("the SETTINGS of %s are %s, --help lists %s" % (page, first_words(manual, "SETTINGS"), keys))

        # The completion: commands, each command's options, config's words.
        completion = Completion(completion_script, cli, env)
        offered = completion.complete("orvanasync-cli", "")
        if sorted(offered) != sorted(commands):
            fail("completion offers the commands %s, --help lists %s" % (offered, commands))
        for command in commands:
            expected = sorted(name for name, option in long_options.items() if command in option.commands)
            offered = sorted(completion.complete("orvanasync-cli", command, "--"))
            for name in sorted(set(expected) - set(offered)):
                fail("completion does not offer %s after %s" % (name, command))
            for name in sorted(set(offered) - set(expected)):
                fail("completion offers %s after %s, which --help does not give it" % (name, command))
        every = sorted(name for name, option in long_options.items() if set(option.commands) == set(commands))
        if sorted(completion.complete("orvanasync-cli", "--")) != every:
            fail("before a command completion offers %s, not the options of every command %s"
                 % (completion.complete("orvanasync-cli", "--"), every))
        for command, words in subcommands.items():
            offered = completion.complete("orvanasync-cli", command, "")
            if sorted(offered) != sorted(words):
                fail("after %s completion offers %s, --help lists %s" % (command, offered, words))
        if "config" in subcommands:
            for verb in ("get", "set", "unset"):
                offered = completion.complete("orvanasync-cli", "config", verb, "")
                if sorted(offered) != sorted(keys):
                    fail("config %s completes the keys %s, --help lists %s" % (verb, offered, keys))

        # After an option that takes a value comes the value, never another
        # option; after a flag, the options go on.
        for name, option in sorted(long_options.items()):
            if name in ("--help", "--version"):
                continue
            after = completion.complete("orvanasync-cli", option.commands[0], name, "--")
            if option.takes_value and after:
                fail("completion offers %s as the value of %s" % (after[:3], name))
            if not option.takes_value and not after:
                fail("completion offers no option after the flag %s" % name)

        # --playlists completes the IDs "orvanasync-cli playlists" prints for
        # the --source on the line, after the commas already typed.
        library_folder = os.path.join(home, "sample")
        subprocess.run([sys.executable, make_sample_library, library_folder], check=True, capture_output=True)
        library = os.path.join(library_folder, "Library.xml")
        listed = [row.split("\t")[0] for row in run_cli(cli, "playlists", "--source", library, env=env).splitlines()]
        if len(listed) < 2:
            raise SystemExit("the sample library should have two playlists, it has %s" % listed)
        for source in (["--source", library], ["--source=" + library]):
            ids = completion.complete(cli, "sync", *source, "--playlists", "")
            if sorted(ids) != sorted(listed):
                fail("--playlists after %s completes %s, the source has %s" % (source[0], ids, listed))
        # The shortest start of the second ID that no other ID shares.
        start = next(listed[1][:n] for n in range(1, len(listed[1]) + 1)
                     if not any(other.startswith(listed[1][:n]) for other in listed if other != listed[1]))
        second = completion.complete(cli, "sync", "--source", library, "--playlists", listed[0] + "," + start)
        if second != [listed[0] + "," + listed[1]]:
            fail("after a comma --playlists completes %s, expected %s" % (second, [listed[0] + "," + listed[1]]))

    if failures:
        print("%d mismatch(es) between --help and the manual page or completion" % len(failures))
        return 1
    print("manual page and completion match --help: %d options, commands %s, %d settings keys"
          % (len(spellings), commands, len(keys)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
