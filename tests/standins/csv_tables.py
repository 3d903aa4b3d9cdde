#!/usr/bin/env python3
# Random tables written by Python's csv module, as tests/data/csv/cases holds
# them (NAME.csv, and NAME.json: the questions, each row's number and
# answers). Usage: csv_tables.py SEED COUNT FOLDER
import csv
import json
import random
import sys

seed, count, folder = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rng = random.Random(seed)


def text(alphabet, longest):
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, longest)))


for n in range(count):
    header = list(dict.fromkeys(text("abcXYZ é中-_ .", 8).strip() or "q" for _ in range(rng.randint(1, 6))))
    rows = [[text('ab ,;"\r\n\té€中😀\'=', 12) for _ in header] for _ in range(rng.randint(1, 30))]
    # A line end of "\n" alone leaves a cell's "\r" unquoted: not CSV. A
    # header of one name tells no separator: it is ",".
    bare_cr = any("\r" in cell for row in rows for cell in row)
    delimiter, ending = rng.choice(",;" if len(header) > 1 else ","), "\r\n" if bare_cr else rng.choice(["\r\n", "\n"])
    with open(f"{folder}/random-{n}.csv", "w", encoding=rng.choice(["utf-8", "utf-8-sig"]), newline="") as f:
        csv.writer(f, delimiter=delimiter, lineterminator=ending).writerows([header] + rows)
    with open(f"{folder}/random-{n}.json", "w", encoding="utf-8") as f:
        json.dump({"questions": header, "rows": [[i + 2, row] for i, row in enumerate(rows)], "ignored": []}, f)
