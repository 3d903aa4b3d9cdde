#!/usr/bin/env python3
"""The project's own count of its lines: non-blank lines that are not
comments. Program: the *.cpp and *.h files outside tests/ and bench/. Tests:
the *.cpp, *.h, *.py and *.sh files in tests/ (stand-ins included). A comment
line is one that starts with //, /* or * in C++, # in Python and shell.

    python3 scripts/count-lines.py [--max-share PERCENT] [revision]

With a revision, counts the files as they are in it (git show). With
--max-share (CI gives 34), it ends with status 1 when the tests are more
than that share of the code, naming the largest test files, or when a
program file is longer than 600 lines (as counted by wc -l), naming it."""
import argparse
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


LONGEST_PROGRAM_FILE = 600


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--max-share", type=float, help="fail above this percentage of tests")
    parser.add_argument("revision", nargs="?")
    args = parser.parse_args()
    program = tests = 0
    test_files, long_files = [], []
    for path in files(args.revision):
        top = path.split("/")[0]
        if top == "tests" and path.endswith((".cpp", ".h", ".py", ".sh")):
            lines = counted(path, text(path, args.revision))
            tests += lines
            test_files.append((lines, path))
        elif top not in ("tests", "bench") and path.endswith((".cpp", ".h")):
            source = text(path, args.revision)
            program += counted(path, source)
            length = source.count("\n") + (0 if source.endswith("\n") or not source else 1)
            if length > LONGEST_PROGRAM_FILE:
                long_files.append((length, path))
    share = tests / (program + tests)
    print(f"program {program}, tests {tests}: tests are {share:.0%} of the code ({tests / program:.2f} times the program)")
    if args.max_share is None:
        return 0
    failed = False
    if share * 100 > args.max_share:
        failed = True
        print(f"error: the tests are {share:.1%} of the code, more than {args.max_share:g} %; the largest test files:",
              file=sys.stderr)
        for lines, path in sorted(test_files, reverse=True)[:10]:
            print(f"  {lines:5d} {path}", file=sys.stderr)
    for length, path in sorted(long_files, reverse=True):
        failed = True
        print(f"error: {path} has {length} lines, more than {LONGEST_PROGRAM_FILE}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
