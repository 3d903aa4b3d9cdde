#!/usr/bin/env python3
"""Times eleven chained replacements over a text of words with placeholders:
Letterloom's ApplySubstitutionPairs against Python 3's str.replace, side by
side in one run.

    python3 bench/pairs_vs_python.py build/bench/bench_pairs [megabytes] [shrinking|growing]

The default is 10 MB with the "shrinking" pairs (mostly placeholders replaced
by texts of about their length); "growing" replaces short placeholders such as
NAME by longer texts such as "Robert Smith", as mail merges usually do.
"""
import os
import random
import subprocess
import sys
import tempfile
import time

SHRINKING = [
    ("{first}", "Alice"), ("{last}", "Example"), ("{company}", "Example Trading Ltd"),
    ("{date}", "6 December 2026"), ("{amount}", "1,250.00"), ("{ref}", "INV-2026-0042"),
    ("Dear", "Hello"), ("regards", "wishes"), ("{city}", "Rotterdam"),
    ("{product}", "Widget Pro"), ("{sender}", "Bob"),
]
GROWING = [
    ("NAME", "Robert Smith"), ("{first}", "Alexandra-Maria"), ("{last}", "Example-Whitworth"),
    ("{company}", "Example Trading and Shipping Ltd"), ("{date}", "Sunday, 6 December 2026"),
    ("{amount}", "EUR 1,250,000.00"), ("{ref}", "INVOICE-2026-000042"), ("Dear", "Dearest friend"),
    ("{city}", "Rotterdam, the Netherlands"), ("{product}", "Widget Pro Deluxe Edition"),
    ("{sender}", "Bob from Accounts"),
]
PAIRS = SHRINKING
WORDS = ("the of and to in is you that it for on with as was at be this have from or one had by "
         "word but not what all were we when your can said there use an each which she do how "
         "their if will up other about out many then them these so some her would make like him "
         "into time has look two more write go see number no way could people my than first").split()


def make_text(size):
    rng = random.Random(20261206)
    placeholders = [f for f, _ in PAIRS]
    parts, length = [], 0
    while length < size:
        if rng.random() < 0.04:
            word = rng.choice(placeholders)
        else:
            word = rng.choice(WORDS)
        parts.append(word)
        length += len(word) + 1
    return " ".join(parts)[:size]


def python_best(text, runs=7):
    best, result = None, None
    for _ in range(runs):
        start = time.perf_counter()
        out = text
        for find, replace in PAIRS:
            out = out.replace(find, replace)
        elapsed = (time.perf_counter() - start) * 1000
        best = elapsed if best is None else min(best, elapsed)
        result = out
    return best, result


def main():
    global PAIRS
    if not 2 <= len(sys.argv) <= 4:
        sys.exit(__doc__)
    binary = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    if len(sys.argv) > 3:
        PAIRS = {"shrinking": SHRINKING, "growing": GROWING}[sys.argv[3]]
    text = make_text(megabytes * 1024 * 1024)
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "text.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        args = [binary, path] + [s for pair in PAIRS for s in pair]
        out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
        qt_ms = float(out.split("best_ms ")[1].split()[0])
        with open(path + ".qt-result", encoding="utf-8") as f:
            qt_result = f.read()
    py_ms, py_result = python_best(text)
    if qt_result != py_result:
        sys.exit("the two results differ")
    grown = len(py_result) - len(text)
    print(f"text: {len(text)} characters, 11 pairs ({sys.argv[3] if len(sys.argv) > 3 else 'shrinking'}), "
          f"result {grown:+} characters, best of 7 runs each")
    print(f"ApplySubstitutionPairs: {qt_ms:.1f} ms")
    print(f"Python str.replace:     {py_ms:.1f} ms")
    print(f"ratio (Letterloom / Python): {qt_ms / py_ms:.2f}")


if __name__ == "__main__":
    main()
