#!/usr/bin/env python3
"""Keeps the product's includes running downward.

Reads every #include "..." in the product folders and fails, naming the file
and line, on one that reaches a folder the including folder may not use.
  check_layering.py SOURCE_ROOT   scans the tree
  check_layering.py --self-test   checks the rule against a table of cases
"""
import re
import sys
from pathlib import Path

# The layout: each product folder and its level. A file may include its own
# folder and any folder of a lower level; folders of one level never include
# each other. engine/http/ lies inside engine/ but below it.
LAYERS = {
    "core/": 0,
    "params/": 1,
    "engine/http/": 2,
    "engine/": 3,
    "dialog/": 3,
    "component/": 4,
    "component/com/": 5,
    "cli/": 5,
    "exporter/": 5,
}

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp", ".rc", ".rc.in")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    """The product folder a repository path lies in (the deepest match), or None."""
    matches = [f for f in LAYERS if path.startswith(f)]
    return max(matches, key=len) if matches else None


def refusal(source, included):
    """Why `source` may not include `included` (both repository paths), or None."""
    home = folder_of(source)
    if "/" not in included:
        return None  # beside the including file
    target = folder_of(included)
    if target is None:
        return "reaches outside the product folders"
    if target == home or LAYERS[target] < LAYERS[home]:
        return None
    allowed = sorted((f for f in LAYERS if LAYERS[f] < LAYERS[home]), key=lambda f: (LAYERS[f], f))
    return "{} may include only itself{}, not {}".format(
        home, "".join(", " + f for f in allowed), target)


def scan(root):
    problems = []
    scanned = 0
    for top in sorted({f.split("/")[0] for f in LAYERS}):
        for path in sorted((root / top).rglob("*")):
            relative = path.relative_to(root).as_posix()
            if not path.is_file() or not relative.endswith(SOURCE_SUFFIXES):
                continue
            scanned += 1
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                why = match and refusal(relative, match.group(1))
                if why:
                    problems.append('{}:{}: #include "{}": {}'.format(relative, number, match.group(1), why))
    if scanned == 0:
        problems.append("{}: no sources found in the product folders".format(root))
    return problems


# (including file, included header, allowed?)
SELF_TEST = [
    ("core/error.cpp", "core/utf8.h", True),
    ("core/error.cpp", "params/read_tag.h", False),
    ("engine/http/url.cpp", "params/base64.h", True),
    ("engine/http/url.cpp", "engine/check_engine.h", False),
    ("engine/check_engine.cpp", "engine/http/http_component.h", True),
    ("engine/check_engine.cpp", "dialog/settings_form.h", False),
    ("dialog/show_settings.cpp", "component/vexarel.h", False),
    ("component/com/module.cpp", "component/vexarel.h", True),
    ("component/vexarel.cpp", "component/com/module.h", False),
    ("cli/main.cpp", "component/com/module.h", False),
    ("cli/main.cpp", "tests/support/http_test_server.h", False),
    ("cli/json.cpp", "json.h", True),
    ("exporter/probe.cpp", "component/vexarel.h", True),
    ("exporter/probe.cpp", "cli/check_run.h", False),
    ("cli/main.cpp", "exporter/probe.h", False),
]


def self_test():
    failures = []
    for source, included, allowed in SELF_TEST:
        if (refusal(source, included) is None) != allowed:
            failures.append("{} -> {}: expected {}".format(source, included, "allowed" if allowed else "refused"))
    return failures


def main(argv):
    if argv[1:] == ["--self-test"]:
        problems = self_test()
    elif len(argv) == 2:
        problems = scan(Path(argv[1]))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
