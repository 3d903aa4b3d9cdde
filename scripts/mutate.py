#!/usr/bin/env python3
"""Mutation testing of Letterloom's own sources, run by hand (not by CI).

Makes one-line mutants of the program's sources (a comparison flipped, a
condition negated, a call dropped, true and false swapped, ...), rebuilds the
program and its tests with each one in a copy of the tree, runs ctest, and
counts the mutants the tests kill. A mutant that does not compile is not
counted.

    python3 scripts/mutate.py [--count N] [--seed S] [--jobs J] [--list FILE] [--keep DIR] [--matrix FILE]

--count     how many mutants to try (default 120), drawn at random from all
            that the operators make
--seed      the draw (default 20261206), so a run can be repeated
--list      a file of mutants to run instead of a draw, one per line as the
            report prints them ("path:line: operator")
--pin FILE  write the drawn mutants to FILE by their line's text
            ("path<TAB>operator<TAB>text"), so that the same mutants can be
            run again after the code has moved; --pinned FILE runs them. A
            pinned line whose text is no longer in its file is reported as
            "code gone"
--keep      the folder for the copy of the tree and its build (default: a
            temporary folder, removed afterwards)
--matrix    run every test program for every mutant (not only up to the
            first failure) and write to FILE, as JSON, which test functions
            each mutant fails; then print the test functions whose every
            kill another function makes too (see also --redundant)
--exclude   leave the tests whose names match this regular expression out of
            every mutant's run (ctest -E), as for runs that compare two
            revisions of the tests where one holds tests the other lacks
--redundant FILE: only print that analysis of a matrix written earlier

The report (also written to mutation-report.txt in the current folder) lists
every mutant with its verdict, then the survivors. Deciding which survivors
are equivalent to the program (no test could tell them apart) is left to the
reader; tests/README.md keeps the latest run with that judgement.
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_DIRS = ("app", "store", "substitute", "compose", "platform")

# (name, pattern, replacement): each applies to one match in one line.
OPERATORS = [
    ("== to !=", r"==", "!="),
    ("!= to ==", r"!=", "=="),
    ("< to <=", r"(?<![<\-])<(?![<=])(?=\s)", "<="),
    ("<= to <", r"<=", "<"),
    ("> to >=", r"(?<![>\-])>(?![>=])(?=\s)", ">="),
    (">= to >", r">=", ">"),
    ("&& to ||", r"&&", "||"),
    ("|| to &&", r"\|\|", "&&"),
    ("true to false", r"\btrue\b", "false"),
    ("false to true", r"\bfalse\b", "true"),
    ("negate if", r"\bif \((?!!)", "if (!"),
    ("drop negation", r"if \(!", "if ("),
    ("+ 1 to - 1", r"\+ 1\b", "- 1"),
    ("- 1 to + 1", r"- 1\b", "+ 1"),
    ("drop call", r"^(\s+)(?=[a-zA-Z_:>.\-]+\(.*\);\s*$)(?!return)", r"\1// "),
]

SKIP_LINE = re.compile(r"^\s*(#|//|\*|/\*)|static_assert|Q_OBJECT|Q_DECLARE")


def source_files():
    for folder in SOURCE_DIRS:
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if name.endswith(".cpp") and not name.endswith("_win.cpp"):
                yield os.path.join(folder, name)


def candidates():
    """Every (path, line number, operator) that changes a line."""
    found = []
    for path in source_files():
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            lines = f.read().split("\n")
        for number, text in enumerate(lines, 1):
            if SKIP_LINE.search(text) or not text.strip():
                continue
            for name, pattern, _ in OPERATORS:
                if re.search(pattern, text):
                    found.append((path, number, name))
    return found


def write_pinned(path, chosen):
    """The mutants by their line's text, which survives the code moving."""
    with open(path, "w", encoding="utf-8") as f:
        for file, number, operator in chosen:
            with open(os.path.join(ROOT, file), encoding="utf-8") as source:
                text = source.read().split("\n")[number - 1].strip()
            f.write(f"{file}\t{operator}\t{text}\n")


def read_pinned(path):
    """The pinned mutants found again by their line's text: (chosen, gone)."""
    chosen, gone = [], []
    with open(path, encoding="utf-8") as f:
        for entry in f:
            if not entry.strip() or entry.startswith("#"):
                continue
            file, operator, text = entry.rstrip("\n").split("\t", 2)
            lines = []
            if os.path.exists(os.path.join(ROOT, file)):
                with open(os.path.join(ROOT, file), encoding="utf-8") as source:
                    lines = source.read().split("\n")
            numbers = [n for n, line in enumerate(lines, 1) if line.strip() == text]
            if numbers and mutate_line(lines[numbers[0] - 1], operator) != lines[numbers[0] - 1]:
                chosen.append((file, numbers[0], operator))
            else:
                gone.append((file, operator, text))
    return chosen, gone


def mutate_line(text, operator):
    _, pattern, replacement = next(op for op in OPERATORS if op[0] == operator)
    return re.sub(pattern, replacement, text, count=1)


def run(command, cwd, timeout):
    try:
        result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=timeout, text=True)
        return result.returncode, result.stdout
    except subprocess.TimeoutExpired:
        return "timeout", ""


def failing_functions(output, failed_programs):
    """The Qt Test functions that failed, "Class::function"; a program that
    failed without a failing function (it crashed or timed out) counts as
    "program::<crashed>"."""
    functions = set()
    chunks = re.split(r"^\s*\d+/\d+ Test\s+#\d+: ", output, flags=re.M)
    for chunk in chunks[1:]:
        program = chunk.split()[0]
        if program not in failed_programs:
            continue
        found = set(re.findall(r"^FAIL!\s+: (\w+::\w+)\(", chunk, re.M))
        functions |= found or {program + "::<crashed>"}
    return sorted(functions)


def print_redundant(matrix):
    """Each test function's kills, and those whose kills others all make."""
    kills = {}
    for mutant, functions in matrix.items():
        for function in functions:
            kills.setdefault(function, set()).add(mutant)
    killed = {m for m, fs in matrix.items() if fs}
    print(f"{len(matrix)} mutants run, {len(killed)} killed, by {len(kills)} test functions")
    for function in sorted(kills, key=lambda f: (len(kills[f]), f)):
        alone = [m for m in kills[function] if matrix[m] == [function]]
        print(f"{len(kills[function]):4d} kills, {len(alone):3d} alone: {function}")
    never = "test functions that kill no mutant of this run are not listed"
    print(never)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=120)
    parser.add_argument("--seed", type=int, default=20261206)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--list")
    parser.add_argument("--keep")
    parser.add_argument("--matrix")
    parser.add_argument("--redundant")
    parser.add_argument("--pin")
    parser.add_argument("--pinned")
    parser.add_argument("--exclude")
    args = parser.parse_args()
    if args.redundant:
        with open(args.redundant) as f:
            print_redundant(json.load(f))
        return

    gone = []
    if args.pinned:
        chosen, gone = read_pinned(args.pinned)
    elif args.list:
        chosen = []
        with open(args.list) as f:
            for entry in f:
                match = re.match(r"\s*(\S+):(\d+): (.+?)\s*$", entry)
                if match:
                    chosen.append((match.group(1), int(match.group(2)), match.group(3)))
    else:
        every = candidates()
        chosen = random.Random(args.seed).sample(every, min(args.count, len(every)))
        print(f"{len(every)} possible mutants, {len(chosen)} drawn with seed {args.seed}")
    if args.pin:
        write_pinned(args.pin, chosen)
        print(f"{len(chosen)} mutants pinned in {args.pin}")
        return

    work = args.keep or tempfile.mkdtemp(prefix="letterloom-mutants-")
    tree = os.path.join(work, "src")
    build = os.path.join(work, "build")
    if not os.path.isdir(tree):
        shutil.copytree(ROOT, tree, ignore=shutil.ignore_patterns(".git", "build*", "fuzz-build*"))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    # No debugging information: the builds of the mutants link faster.
    code, out = run(["cmake", "-S", tree, "-B", build, "-DLETTERLOOM_BUILD_BENCH=OFF", "-DCMAKE_BUILD_TYPE=Release",
                      "-DLETTERLOOM_TEST_TIMEOUT=60"],
                    work, 600)
    if code != 0:
        sys.exit("configuring failed:\n" + out)
    code, out = run(["cmake", "--build", build, "-j", str(args.jobs)], work, 1800)
    if code != 0:
        sys.exit("the unchanged tree does not build:\n" + out)
    baseline = subprocess.run(["ctest", "-j", str(args.jobs), "--timeout", "120"]
                              + (["-E", args.exclude] if args.exclude else []), cwd=build, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if baseline.returncode != 0:
        sys.exit("the unchanged tree fails its tests:\n" + baseline.stdout)

    verdicts = []
    matrix = {}
    started = time.time()
    for index, (path, number, operator) in enumerate(chosen, 1):
        source = os.path.join(tree, path)
        with open(source, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        before = lines[number - 1]
        after = mutate_line(before, operator)
        if after == before:
            continue
        lines[number - 1] = after
        with open(source, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        try:
            code, _ = run(["cmake", "--build", build, "-j", str(args.jobs)], work, 900)
            if code != 0:
                verdict = "does not compile"
            else:
                # One failing test is enough to kill a mutant: stop at the first,
                # unless the matrix asks which test functions fail.
                command = ["ctest", "-j", str(args.jobs), "--timeout", "60"]
                command += ["--output-on-failure"] if args.matrix else ["--stop-on-failure"]
                command += ["-E", args.exclude] if args.exclude else []
                result = subprocess.run(command, cwd=build, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                failed = re.findall(r"\d+ - (\S+) \(", result.stdout)
                verdict = "killed by " + ", ".join(failed) if result.returncode != 0 else "SURVIVED"
                if args.matrix:
                    matrix[f"{path}:{number}: {operator}"] = failing_functions(result.stdout, failed)
        finally:
            with open(source, "w", encoding="utf-8") as f:
                f.write(original)
        verdicts.append((path, number, operator, before.strip(), after.strip(), verdict))
        print(f"[{index}/{len(chosen)}] {path}:{number}: {operator}: {verdict}", flush=True)
    # Leave the build as the unchanged tree has it.
    run(["cmake", "--build", build, "-j", str(args.jobs)], work, 900)

    compiled = [v for v in verdicts if v[5] != "does not compile"]
    killed = [v for v in compiled if v[5].startswith("killed")]
    survived = [v for v in compiled if v[5] == "SURVIVED"]
    report = [f"{len(verdicts)} mutants made, {len(compiled)} compiled, {len(killed)} killed, "
              f"{len(survived)} survived ({time.time() - started:.0f} s)", ""]
    report += [f"{p}:{n}: {o}: {v}" for p, n, o, _, _, v in verdicts]
    if gone:
        report += ["", f"Code gone ({len(gone)}):"] + [f"{p}: {o}: {t}" for p, o, t in gone]
    report += ["", "Survivors:"]
    for p, n, o, b, a, _ in survived:
        report += [f"{p}:{n}: {o}", f"    - {b}", f"    + {a}"]
    text = "\n".join(report) + "\n"
    with open("mutation-report.txt", "w") as f:
        f.write(text)
    print(text)
    if args.matrix:
        with open(args.matrix, "w") as f:
            json.dump(matrix, f, indent=1, sort_keys=True)
        print_redundant(matrix)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
