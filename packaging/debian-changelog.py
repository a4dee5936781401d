#!/usr/bin/env python3
"""Writes the Debian changelog of the package from CHANGELOG.md: one entry per section
"## <version> (<YYYY-MM-DD>)", its paragraphs and "- " items as the entry's items.

Usage: debian-changelog.py CHANGELOG.md PACKAGE MAINTAINER OUTPUT
"""

import datetime
import re
import sys
import textwrap


def entries(text):
    """(version, date, [item text]) for each released section, newest first."""
    found = []
    for section in re.split(r"^## ", text, flags=re.M)[1:]:
        heading, _, body = section.partition("\n")
        match = re.fullmatch(r"(\S+) \((\d{4}-\d\d-\d\d)\)", heading.strip())
        if not match:
            continue  # "(unreleased)": not in a package yet
        items, current = [], []
        for line in body.splitlines() + [""]:
            starts_item = line.startswith("- ")
            if (starts_item or not line.strip()) and current:
                items.append(" ".join(current))
                current = []
            if line.strip():
                current.append(line[2:].strip() if starts_item else line.strip())
        found.append((match[1], datetime.date.fromisoformat(match[2]), items))
    return found


def main():
    source, package, maintainer, output = sys.argv[1:]
    out = []
    for version, date, items in entries(open(source, encoding="utf-8").read()):
        out.append("%s (%s) unstable; urgency=medium\n\n" % (package, version))
        for item in items:
            item = item.replace("`", "")
            out.append(textwrap.fill(item, 78, initial_indent="  * ", subsequent_indent="    "))
            out.append("\n")
        stamp = datetime.datetime(date.year, date.month, date.day, tzinfo=datetime.timezone.utc)
        out.append("\n -- %s  %s\n\n" % (maintainer, stamp.strftime("%a, %d %b %Y %H:%M:%S +0000")))
    if not out:
        sys.exit("%s: no released version" % source)
    with open(output, "w", encoding="utf-8") as f:
        f.write("".join(out).rstrip("\n") + "\n")


if __name__ == "__main__":
    main()
