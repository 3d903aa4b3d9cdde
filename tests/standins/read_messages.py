#!/usr/bin/env python3
"""Reads what mail programs were handed, with Python's own parsers, and prints
what each took as JSON: the addresses of To, Cc and Bcc as [display name,
address] pairs (email.utils.getaddresses, or the headers of a draft under
policy default), the subject and the body.

Reads a JSON list from standard input; each item is one of
  {"kind": "mailto", "url": "mailto:...", "plus_is_space": false}
      an RFC 6068 address, taken apart with urllib.parse
  {"kind": "fields", "fields": {"to": ["...", ...], "subject": "...", ...}}
      fields that a program's own argument rules gave; each address field
      is a list of texts, each of them a list of addresses
  {"kind": "draft", "path": "..."}
      an .eml file, read with the email package; with "pictures": true
      also the pictures its HTML body shows (below) and its related parts
      by Content-ID, their bytes in base64
  {"kind": "html", "path": "..."}
      an HTML file (UTF-8): the pictures it shows, the values of the src and
      background attributes as html.parser reads them; its text and the
      values of all its attributes
"""
import base64
import email
import html.parser
import json
import sys
import urllib.parse
from email import policy
from email.utils import getaddresses

ADDRESS_FIELDS = ("to", "cc", "bcc")


def addresses(texts):
    return [[name, address] for name, address in getaddresses(texts)]


def from_fields(fields):
    out = {}
    for key, value in fields.items():
        out[key] = addresses(value) if key in ADDRESS_FIELDS else value
    return out


def from_mailto(url, plus_is_space):
    parts = urllib.parse.urlsplit(url)
    assert parts.scheme == "mailto", url
    unquote = urllib.parse.unquote_plus if plus_is_space else urllib.parse.unquote
    fields = {"to": [unquote(parts.path)]} if parts.path else {}
    for pair in parts.query.split("&") if parts.query else []:
        key, _, value = pair.partition("=")
        key = key.lower()
        value = unquote(value)
        if key in ADDRESS_FIELDS:
            fields.setdefault(key, []).append(value)
        else:
            assert key not in fields, "%s given twice" % key
            fields[key] = value
    return from_fields(fields)


def from_draft(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=policy.default)
    out = {}
    for key in ADDRESS_FIELDS:
        header = msg[key]
        if header is not None:
            out[key] = [[a.display_name, a.addr_spec] for a in header.addresses]
    out["subject"] = str(msg["subject"]) if msg["subject"] is not None else ""
    body = msg.get_body(preferencelist=("html", "plain"))
    out["body"] = body.get_content().replace("\r\n", "\n")
    out["defects"] = [str(d) for part in msg.walk() for d in part.defects]
    return out


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


def related_parts(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=policy.default)
    parts = {}
    for part in msg.walk():
        if part["content-id"]:
            parts[part["content-id"].strip("<>")] = base64.b64encode(part.get_payload(decode=True)).decode()
    return parts


def read(item):
    if item["kind"] == "html":
        with open(item["path"], encoding="utf-8") as f:
            return pictures(f.read())
    if item["kind"] == "draft" and item.get("pictures"):
        out = from_draft(item["path"])
        out.update(pictures(out["body"]))
        out["related"] = related_parts(item["path"])
        return out
    if item["kind"] == "mailto":
        return from_mailto(item["url"], item.get("plus_is_space", False))
    if item["kind"] == "fields":
        return from_fields(item["fields"])
    return from_draft(item["path"])


json.dump([read(item) for item in json.load(sys.stdin)], sys.stdout)
