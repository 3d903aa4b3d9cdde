#!/usr/bin/env python3
# What mail programs were handed, read by Python's own parsers: a JSON list of
# items on standard input, what each program took printed as JSON. Items:
#   {"kind": "fields", "fields": {...}}  what a program's own argument rules
#       gave (tests/support/mailprograms.h); to, cc, bcc each a list of texts
#   {"kind": "draft", "path": ...}  an .eml file as the email package reads it;
#       with "pictures": true also its HTML body's pictures and related parts
#   {"kind": "eml", "path": ...}  an .eml file as a mail client takes it: the
#       headers decoded, in order, its lines' width and ends, the attachments
#   {"kind": "html", "path": ...}  an HTML file: the pictures it shows, its
#       text and its attributes' values, as html.parser reads them
# With "check", each item's "expected" compared: a text for each difference
# ("" where none); with "make SEED COUNT", random messages as typed into the
# boxes ("typed") and as a program must read them ("read").
import base64
import email
import email.header
import html.parser
import json
import random
import sys
from email import policy
from email.utils import getaddresses

ADDRESS_FIELDS = ("to", "cc", "bcc")


def addresses(texts):
    return [[name, address] for name, address in getaddresses([text for text in texts if text])]


def from_draft(path, with_pictures):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=policy.default)
    out = {}
    for key in ADDRESS_FIELDS:
        header = msg[key]
        if header is not None:
            out[key] = [[a.display_name, a.addr_spec] for a in header.addresses]
    out["subject"] = str(msg["subject"]) if msg["subject"] is not None else ""
    out["body"] = msg.get_body(preferencelist=("html", "plain")).get_content().replace("\r\n", "\n")
    out["defects"] = [str(d) for part in msg.walk() for d in part.defects]
    attached = [part.get_filename() for part in msg.iter_attachments()]
    if attached:
        out["attach"] = attached
    if with_pictures:
        out.update(pictures(out["body"]))
        out["related"] = {part["content-id"].strip("<>"): base64.b64encode(part.get_payload(decode=True)).decode()
                          for part in msg.walk() if part["content-id"]}
    return out


def decoded(raw):
    unfolded = raw.replace("\r\n", "").replace("\n", "")
    return str(email.header.make_header(email.header.decode_header(unfolded)))


def from_eml(path):
    with open(path, "rb") as f:
        data = f.read()
    raw = email.message_from_bytes(data, policy=policy.compat32)
    msg = email.message_from_bytes(data, policy=policy.default)
    body = msg.get_body(preferencelist=("html", "plain"))
    return {
        "headers": {name: decoded(value) for name, value in raw.items()},
        "header_names": [name for name, _ in raw.items()],
        "defects": [str(d) for part in msg.walk() for d in part.defects],
        "longest_line": max(len(line) for line in data.split(b"\r\n")),
        "bare_lf": data.replace(b"\r\n", b"").count(b"\n"),
        "body_type": body.get_content_type(),
        "body": body.get_content(),
        "attachments": [
            {"filename": part.get_filename(),
             "type": part.get_content_type(),
             "disposition": part.get_content_disposition(),
             "header_names": [name for name, _ in part.items()],
             "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii")}
            for part in msg.iter_attachments()
        ],
    }


class Pictures(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.found, self.text, self.attributes = [], "", []

    def handle_starttag(self, tag, attrs):
        self.found += [value for name, value in attrs if name in ("src", "background")]
        self.attributes += [value for name, value in attrs]

    def handle_data(self, data):
        self.text += data


def pictures(text):
    parser = Pictures()
    parser.feed(text)
    return {"pictures": parser.found, "text": parser.text, "attributes": parser.attributes}


def read(item):
    if item["kind"] == "html":
        with open(item["path"], encoding="utf-8") as f:
            return pictures(f.read())
    if item["kind"] == "eml":
        return from_eml(item["path"])
    if item["kind"] == "fields":
        return {key: addresses(value) if key in ADDRESS_FIELDS else value for key, value in item["fields"].items()}
    return from_draft(item["path"], item.get("pictures"))


# ---- random messages -------------------------------------------------------

# Text of any script: Polish, Cyrillic, Greek, CJK, Arabic, emoji (outside
# the 16-bit range), combining marks, a line break, and ASCII that means
# something to URLs, command lines and headers.
WORDS = ["Zażółć", "gęślą", "Привет", "жёлтый", "κόσμε", "中文", "مرحبا", "\U0001F600",
         "\U0001F468\u200d\U0001F469\u200d\U0001F467", "e\u0301té", "€5", "100%", "%41%2C", "a+b", "&x=1",
         "&attach=/etc/passwd", "?q", "#f", "=?utf-8?q?x?=", '"q"', "'s'", "-c", "--bcc=x@y", "--attach",
         "attachment='file:///etc/passwd'", "semi;colon", "com,ma", "<a@b>", "word", "\t", "\xa0", "new\nline"]
# Display names: inside quotes anything, and typed without quotes, commas
# and semicolons (a piece without "@" belongs to the next).
NAMES = ["Doe, John", "Zoë", "Łukasz Kowalski", "Иван Петров", "\U0001F600 Smile", "O'Brien; Pat", "Smith Jr.",
         "Müller-Lüdenscheidt", "李明", 'a "quoted" word', "back\\slash", "at@sign", "Kowalski, Łukasz; Jr", "Team",
         "x&attach=/etc/shadow", "?cc=spy@evil.org", "-c evil", "--bcc=all 100%"]
ADDRESSES = ["alice@example.com", "bob.smith@example.org", "o'neil@example.ie", "a+tag@example.net",
             "x_y-z@sub.example.co.uk"]
SEPARATORS = [",", ";", ", ", "; ", " ; ", " ,", ";,", ",,", ";  ;"]


def random_message(rng):
    def text(words):
        return " ".join(rng.choice(WORDS) for _ in range(words))

    def recipient():
        address, kind = rng.choice(ADDRESSES), rng.randrange(4)
        if kind < 2:
            return ["", address], address if kind == 0 else "<%s>" % address
        name = rng.choice(NAMES)
        if rng.randrange(2) and not any(c in name for c in '"\\@'):
            return [name, address], "%s <%s>" % (name, address)
        return [name, address], '"%s" <%s>' % (name.replace("\\", "\\\\").replace('"', '\\"'), address)

    typed, read = {}, {}
    for key in ADDRESS_FIELDS:
        people = [recipient() for _ in range(rng.randint(1 if key == "to" else 0, 3))]
        typed[key] = "".join((rng.choice(SEPARATORS) if n else "") + written for n, (_, written) in enumerate(people))
        if people and rng.randrange(4) == 0:
            typed[key] += rng.choice(SEPARATORS)  # a separator left at the end
        if people:
            read[key] = [person for person, _ in people]
    typed["subject"] = read["subject"] = text(rng.randint(1, 19))
    typed["body"] = "".join(text(rng.randrange(12)) + "\r\n" for _ in range(rng.randint(1, 4)))
    read["body"] = typed["body"].replace("\r\n", "\n")  # a text's line ends, as every route gives them
    return {"typed": typed, "read": read}


def differences(items):
    found = []
    for item in items:
        got = read(item)
        if not got.get("defects", True):
            del got["defects"]
        got = {key: value for key, value in got.items() if value or key not in ADDRESS_FIELDS}
        found.append("" if got == item["expected"] else "%s\nreceived: %s\nwritten:  %s" % (
            item["case"], json.dumps(got, ensure_ascii=False), json.dumps(item["expected"], ensure_ascii=False)))
    return found


if sys.argv[1:2] == ["make"]:
    rng = random.Random(int(sys.argv[2]))
    json.dump([random_message(rng) for _ in range(int(sys.argv[3]))], sys.stdout)
elif sys.argv[1:2] == ["check"]:
    json.dump(differences(json.load(sys.stdin)), sys.stdout)
else:
    json.dump([read(item) for item in json.load(sys.stdin)], sys.stdout)
