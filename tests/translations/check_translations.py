#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the translations: each .ts file is current with the sources (lupdate would change
nothing), every entry is finished, and each translation keeps the placeholders and the shortcut
mark of its English text, since a lost %1 shows a wrong text and a lost & a dead shortcut.

usage: check_translations.py <source dir> <lupdate>"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

PLACEHOLDER = re.compile(r"%(?:L?[0-9]+|n|Ln)")
# "&&" is a literal ampersand; "&x" marks the shortcut x.
SHORTCUT = re.compile(r"&(?!&)\w")


def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text or "")))


def without_count(text, message):
    """The placeholders, but for the count of a plural text, which a form for one may spell out."""
    found = placeholders(text)
    return [p for p in found if p not in ("%n", "%Ln")] if message.get("numerus") == "yes" else found


def check_file(path, problems):
    for context in ElementTree.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source") or ""
            translation = message.find("translation")
            where = f"{path.name}: {name}: {source!r}"
            if translation is None or translation.get("type") in ("unfinished", "vanished", "obsolete"):
                problems.append(f"{where}: not finished")
                continue
            forms = [form.text for form in translation.iter("numerusform")] or [translation.text]
            for form in forms:
                if not form:
                    problems.append(f"{where}: empty translation")
                elif without_count(form, message) != without_count(source, message):
                    problems.append(f"{where}: placeholders {placeholders(form)} instead of {placeholders(source)}")
                elif bool(SHORTCUT.search(form)) != bool(SHORTCUT.search(source)):
                    problems.append(f"{where}: shortcut mark lost or added in {form!r}")


def main():
    source_dir = pathlib.Path(sys.argv[1])
    lupdate = sys.argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as temporary:
        for ts in sorted((source_dir / "translations").glob("tarnwick_*.ts")):
            copy = pathlib.Path(temporary) / ts.name
            shutil.copy(ts, copy)
            options = ["-silent", "-no-obsolete", "-locations", "none", "-extensions", "cpp,h"]
            if ts.name == "tarnwick_en.ts":
                options.append("-pluralonly")
            subprocess.run([lupdate, *options, str(source_dir / "src"), "-ts", str(copy)], check=True)
            if copy.read_bytes() != ts.read_bytes():
                problems.append(f"{ts.name}: not current with the sources; run "
                                "cmake --build build --target update_translations and translate what is new")
            check_file(copy, problems)
    for problem in problems:
        print(problem)
    print(f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
