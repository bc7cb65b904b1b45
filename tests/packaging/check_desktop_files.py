#!/usr/bin/env python3
"""Validates the desktop entry, the AppStream metainfo and the icon, and
checks that they, the Debian changelog and the project agree with each other.

Usage: check_desktop_files.py PACKAGING_FOLDER APP_ID PROGRAM VERSION DEBIAN_REVISION

The desktop entry and the icon are named after the PROGRAM (the name it gives
the window system), the metainfo after the AppStream component APP_ID.
"""
import configparser
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def validate(command):
    """Runs a validator; any error or warning it prints fails the check."""
    done = subprocess.run(command, capture_output=True, text=True, timeout=60)
    output = (done.stdout + done.stderr).strip()
    complaints = [line for line in output.splitlines() if re.match(r"^\s*(E|W|error|warning)\b", line, re.I)
                  or ": error:" in line or ": warning:" in line]
    if done.returncode != 0 or complaints:
        fail("%s: exit %d\n%s" % (" ".join(command), done.returncode, output))
    else:
        print("ok: " + " ".join(command))


def main():
    folder, app_id, program, version, revision = sys.argv[1:6]
    desktop = os.path.join(folder, "desktop", program + ".desktop")
    metainfo = os.path.join(folder, "desktop", app_id + ".metainfo.xml")
    icon = os.path.join(folder, "desktop", program + ".svg")

    validate(["desktop-file-validate", desktop])
    validate(["appstreamcli", "validate", "--no-net", "--explain", metainfo])
    validate(["xmllint", "--noout", icon])

    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(desktop, encoding="utf-8")
    fields = entry["Desktop Entry"]
    if fields.get("Icon") != program:
        fail("the desktop entry's Icon is %r, the icon installed is %s.svg" % (fields.get("Icon"), program))
    if fields.get("Exec", "").split()[0:1] != [program]:
        fail("the desktop entry starts %r, not the program %s" % (fields.get("Exec"), program))

    svg = ElementTree.parse(icon).getroot()
    if svg.tag != "{http://www.w3.org/2000/svg}svg" or not svg.get("viewBox"):
        fail("the icon is not an SVG image with a viewBox (it must scale)")

    component = ElementTree.parse(metainfo).getroot()
    if component.findtext("id") != app_id:
        fail("the metainfo's id is %r, not %s" % (component.findtext("id"), app_id))
    launchable = component.find("launchable")
    if launchable is None or launchable.text != os.path.basename(desktop):
        fail("the metainfo does not launch %s" % os.path.basename(desktop))
    releases = component.findall("releases/release")
    if not releases or releases[0].get("version") != version:
        fail("the metainfo's newest release is %s, the project is at %s"
             % (releases[0].get("version") if releases else None, version))

    changelog = os.path.join(folder, "debian", "changelog")
    top = open(changelog, encoding="utf-8").readline()
    expected = "%s-%s" % (version, revision)
    if not re.match(r"^orvanasync \(%s\) " % re.escape(expected), top):
        fail("the Debian changelog starts with %r, the package is at %s" % (top.strip(), expected))

    if failures:
        print("%d problem(s) with the desktop files" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
