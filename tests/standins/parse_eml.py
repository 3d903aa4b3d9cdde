#!/usr/bin/env python3
"""Reads a MIME message with Python's own email package and prints what a
mail client would take from it, as JSON: the headers decoded, the body, and
every attachment with its file name and bytes (base64)."""
import base64
import email
import email.header
import json
import sys
from email import policy


def addresses(header):
    """The addresses a header holds, or none it can make out."""
    try:
        return [[a.display_name, a.addr_spec] for a in header.addresses]
    except Exception:  # a text typed without angle brackets that is no address
        return []


def decoded(raw):
    unfolded = raw.replace("\r\n", "").replace("\n", "")
    return str(email.header.make_header(email.header.decode_header(unfolded)))


with open(sys.argv[1], "rb") as f:
    data = f.read()
raw = email.message_from_bytes(data, policy=policy.compat32)
msg = email.message_from_bytes(data, policy=policy.default)
body = msg.get_body(preferencelist=("html", "plain"))
json.dump({
    "headers": {name: decoded(value) for name, value in raw.items()},
    "header_names": [name for name, _ in raw.items()],
    "addresses": {name: addresses(msg[name]) for name in ("To", "Cc", "Bcc") if msg[name] is not None},
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
}, sys.stdout)
