#!/usr/bin/env python3
"""Runs a test binary with HOME and the XDG folders in a folder of their own,
seeded as a user's home is, and fails when the run changed anything there:
the test binaries keep their own scratch home, never the user's.

usage: check_scratch_home.py BINARY [ARGUMENTS...]
"""
import os
import subprocess
import sys
import tempfile


def Snapshot(root):
    files = {}
    for folder, subfolders, names in os.walk(root):
        for name in subfolders + names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root)
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    files[relative] = f.read()
            else:
                files[relative] = None
    return files


def main():
    with tempfile.TemporaryDirectory(prefix="orvanta-home-check-") as home:
        config = os.path.join(home, ".config")
        os.makedirs(os.path.join(config, "Orvanta"))
        with open(os.path.join(config, "Orvanta", "Orvanta.conf"), "w") as f:
            f.write("[General]\nCurrentLanguage=de\n")
        for folder in (".local/share", ".cache"):
            os.makedirs(os.path.join(home, folder))
        environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config,
                           XDG_DATA_HOME=os.path.join(home, ".local/share"),
                           XDG_CACHE_HOME=os.path.join(home, ".cache"))
        before = Snapshot(home)
        run = subprocess.run(sys.argv[1:], env=environment)
        after = Snapshot(home)
        changed = sorted(p for p in before.keys() | after.keys() if before.get(p, 0) != after.get(p, 0))
        for path in changed:
            print(f"the test run changed the home folder: {path}", file=sys.stderr)
        if run.returncode != 0:
            print(f"{sys.argv[1]} failed ({run.returncode})", file=sys.stderr)
        return 1 if changed or run.returncode != 0 else 0


if __name__ == "__main__":
    sys.exit(main())
