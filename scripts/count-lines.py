#!/usr/bin/env python3
"""The project's own count of its lines: non-blank lines that are not
comments. Program: the *.cpp and *.h files outside tests/ and bench/. Tests:
the *.cpp, *.h, *.py and *.sh files in tests/ (stand-ins included). A comment
line is one that starts with //, /* or * in C++, # in Python and shell.

    python3 scripts/count-lines.py [revision]

With a revision, counts the files as they are in it (git show)."""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def files(revision):
    if revision:
        out = subprocess.run(["git", "ls-tree", "-r", "--name-only", revision], cwd=ROOT,
                             stdout=subprocess.PIPE, text=True, check=True).stdout
    else:
        out = subprocess.run(["git", "ls-files"], cwd=ROOT, stdout=subprocess.PIPE, text=True, check=True).stdout
    return out.split()


def text(path, revision):
    if revision:
        return subprocess.run(["git", "show", f"{revision}:{path}"], cwd=ROOT, stdout=subprocess.PIPE,
                              check=True).stdout.decode("utf-8", "replace")
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        return f.read()


def counted(path, source):
    comment = ("#",) if path.endswith((".py", ".sh")) else ("//", "/*", "*")
    return sum(1 for line in source.split("\n") if line.strip() and not line.strip().startswith(comment))


def main():
    revision = sys.argv[1] if len(sys.argv) > 1 else None
    program = tests = 0
    for path in files(revision):
        top = path.split("/")[0]
        if top == "tests" and path.endswith((".cpp", ".h", ".py", ".sh")):
            tests += counted(path, text(path, revision))
        elif top not in ("tests", "bench") and path.endswith((".cpp", ".h")):
            program += counted(path, text(path, revision))
    share = tests / (program + tests)
    print(f"program {program}, tests {tests}: tests are {share:.0%} of the code ({tests / program:.2f} times the program)")


if __name__ == "__main__":
    main()
