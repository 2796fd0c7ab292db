#!/usr/bin/env python3
"""Proves that a compiled orbenix.chm maps every context id of the project's
[MAP]/[ALIAS] sections to a topic that the file holds, as HTML Help looks it
up: #IVB holds (id, offset) pairs, the offset points into #STRINGS at the
topic's path. Reads the file with chmls (fp-utils).
usage: check-chm.py CHM HHP"""
import configparser
import os
import struct
import subprocess
import sys
import tempfile


def chmls(*args):
    return subprocess.run(["chmls", *args], check=True, capture_output=True, text=True).stdout


def extract(chm, name, folder):
    target = os.path.join(folder, name.strip("/#").lower())
    chmls("extract", chm, name, target)
    with open(target, "rb") as f:
        return f.read()


def expected_contexts(hhp):
    project = configparser.ConfigParser(delimiters=("=",), comment_prefixes=(";",), allow_no_value=True, strict=False)
    project.optionxform = str
    with open(hhp, encoding="latin-1") as f:
        project.read_string(f.read())
    numbers = {}
    for line in project["MAP"]:
        fields = line.split()
        if len(fields) == 3 and fields[0].lower() == "#define":
            numbers[fields[1]] = int(fields[2], 0)
    return {numbers[name]: "/" + topic for name, topic in project["ALIAS"].items()}


def main():
    chm, hhp = sys.argv[1], sys.argv[2]
    want = expected_contexts(hhp)
    names = set(chmls("-n", "-p", "list", chm).split())
    with tempfile.TemporaryDirectory() as folder:
        ivb = extract(chm, "/#IVB", folder)
        strings = extract(chm, "/#STRINGS", folder)
    (size,) = struct.unpack_from("<I", ivb, 0)
    got = {}
    for at in range(4, 4 + size, 8):
        number, offset = struct.unpack_from("<II", ivb, at)
        got[number] = strings[offset:strings.index(b"\0", offset)].decode("latin-1")
    problems = []
    for number, topic in sorted(want.items()):
        if got.get(number) != topic:
            problems.append(f"context {number} leads to {got.get(number)!r}, expected {topic!r}")
        elif topic not in names:
            problems.append(f"context {number}: the file holds no topic {topic}")
    for problem in problems:
        print(f"{chm}: {problem}", file=sys.stderr)
    if problems:
        return 1
    print(f"{chm}: " + ", ".join(f"context {n} -> {t}" for n, t in sorted(got.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
