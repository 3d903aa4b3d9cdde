#!/usr/bin/env python3
"""Writes random tables with Python's csv module, as tests/data/csv/cases
holds them: NAME.csv and NAME.json (the questions, and each row's number
and answers). Usage: csv_tables.py SEED COUNT FOLDER"""
import csv
import json
import random
import sys

seed, count, folder = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rng = random.Random(seed)
NAMES = "abcXYZ é中-_ ."
CELLS = 'ab ,;"\r\n\té€中😀\'='


def text(alphabet, longest):
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, longest)))


for n in range(count):
    width = rng.randint(1, 6)
    header = []
    while len(header) < width:
        name = text(NAMES, 8).strip()
        if name and name not in header:
            header.append(name)
    rows = [[text(CELLS, 12) for _ in header] for _ in range(rng.randint(1, 30))]
    # A line end of "\n" alone leaves a cell's "\r" unquoted: not CSV. A
    # header of one name tells no separator: it is ",".
    bare_cr = any("\r" in cell for row in rows for cell in row)
    delimiter, ending = rng.choice(",;" if width > 1 else ","), rng.choice(["\r\n"] if bare_cr else ["\r\n", "\n"])
    with open(f"{folder}/random-{n}.csv", "w", encoding=rng.choice(["utf-8", "utf-8-sig"]), newline="") as f:
        csv.writer(f, delimiter=delimiter, lineterminator=ending).writerows([header] + rows)
    with open(f"{folder}/random-{n}.json", "w", encoding="utf-8") as f:
        json.dump({"questions": header, "rows": [[i + 2, row] for i, row in enumerate(rows)], "ignored": []}, f)
