#!/usr/bin/env python3
"""Fails on an #include that runs from a lower layer of src/ into a higher one.

A source file may include headers of its own folder and of the folders of
lower layers. Folders of one rank (the stages, the two front ends) do not
include each other. Usage: check_layers.py PROJECT_ROOT
"""
import pathlib
import re
import sys

# Lowest first. Equal ranks are siblings that know nothing of each other.
RANKS = {
    "platform": 0,
    "text": 1,
    "core": 2,
    "collect": 3,
    "fileclones": 4,
    "folderclones": 4,
    "actions": 4,
    "update": 4,
    "scan": 5,
    "cli": 6,
    "gui": 6,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(relative_path):
    return relative_path.split("/", 1)[0]


def problems_in(src):
    problems = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".in"):
            continue
        own = layer_of(path.relative_to(src).as_posix())
        if own not in RANKS:
            problems.append("%s: folder %r has no layer" % (path, own))
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = layer_of(match.group(1))
            if target == own:
                continue
            if target not in RANKS:
                problems.append("%s:%d: includes %r outside the layers" % (path, number, match.group(1)))
            elif RANKS[target] >= RANKS[own]:
                problems.append("%s:%d: %s includes %r from layer %s, which is not below it"
                                % (path, number, own, match.group(1), target))
    return problems


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    problems = problems_in(root / "src")
    for problem in problems:
        print(problem)
    if problems:
        print("%d include(s) run against the layers" % len(problems))
        return 1
    print("layers: every include runs downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
