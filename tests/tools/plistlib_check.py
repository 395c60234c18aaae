"""Reads what the converter wrote with Python's plistlib and json, as a second opinion.

Usage: plistlib_check.py DIR. DIR holds NAME.xml and NAME.bin (our XML and binary of one
value), NAME.json when the value has a JSON form, and NAME.orig, the path of the file they
came from. Prints one line per disagreement; prints nothing when all agree.
"""
import base64
import datetime
import json
import math
import os
import plistlib
import sys


def normal(value):
    """NaN equal to itself; a binary UID as the dictionary our readers make of it."""
    if isinstance(value, float) and math.isnan(value):
        return "nan"
    if isinstance(value, plistlib.UID):
        return {"CF$UID": value.data}
    if isinstance(value, list):
        return [normal(v) for v in value]
    if isinstance(value, dict):
        return {k: normal(v) for k, v in value.items()}
    return value


def as_json(value):
    """What our JSON mapping makes of a plistlib value."""
    if isinstance(value, datetime.datetime):
        return "%04d-%02d-%02dT%02d:%02d:%02dZ" % (
            value.year, value.month, value.day, value.hour, value.minute, value.second)
    if isinstance(value, bytes):
        return base64.b64encode(value).decode("ascii")
    if isinstance(value, list):
        return [as_json(v) for v in value]
    if isinstance(value, dict):
        return {k: as_json(v) for k, v in value.items()}
    return value


def load(path):
    with open(path, "rb") as f:
        return plistlib.load(f)


def main(folder):
    names = sorted(n[:-4] for n in os.listdir(folder) if n.endswith(".xml"))
    checked = 0
    for name in names:
        base = os.path.join(folder, name)
        try:
            ours = load(base + ".xml")
        except Exception as error:  # dates outside Python's calendar, and the like
            continue
        checked += 1
        if normal(load(base + ".bin")) != normal(ours):
            print(name + ": the binary and the XML differ")
        if os.path.exists(base + ".json"):
            with open(base + ".json", encoding="utf-8") as f:
                if normal(json.load(f)) != normal(as_json(ours)):
                    print(name + ": the JSON differs from the value")
        with open(base + ".orig") as f:
            original = f.read()
        try:
            theirs = load(original)
        except Exception:
            continue
        if normal(theirs) != normal(ours):
            print(name + ": differs from plistlib's reading of " + original)
    if checked == 0:
        print("nothing could be checked")


main(sys.argv[1])
