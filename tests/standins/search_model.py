# A model of finding templates by typing, from the rule and Python's own
# Unicode data. Reads {"templates": [{"name", "subject", "to", "cc", "bcc",
# "plain", "body"}], "searches": [text...]} on standard input; writes the
# indexes each search finds, in order, as JSON.
import json
import sys
import unicodedata

SPACES = set("\t\n\x0b\x0c\r \x85")


def fold(text):
    kept = "".join(c for c in unicodedata.normalize("NFD", text) if not unicodedata.category(c).startswith("M"))
    return kept.casefold()


def words(typed):
    split = "".join(" " if c in SPACES or unicodedata.category(c) in ("Zs", "Zl", "Zp") else c for c in fold(typed))
    return split.split(" ")


def match(template, typed):
    wanted = [w for w in words(typed) if w]
    name = fold(template["name"])
    if all(w in name for w in wanted):
        return 2
    fields = [name] + [fold(template[k]) for k in ("subject", "to", "cc", "bcc")]
    if template["plain"]:
        fields.append(fold(template["body"]))
    return 1 if all(any(w in f for f in fields) for w in wanted) else 0


def main():
    given = json.load(sys.stdin)
    found = []
    for typed in given["searches"]:
        kinds = [match(t, typed) for t in given["templates"]]
        found.append([i for i, k in enumerate(kinds) if k == 2] + [i for i, k in enumerate(kinds) if k == 1])
    json.dump(found, sys.stdout)


main()
