#!/usr/bin/env python3
"""How small the editing commands' changes to text files are, on a folder of real files.

    bench/surgical_diff.py [--tool build/bin/plistbridge] FOLDER [-v]

For each XML, old-style or JSON file in FOLDER (binary ones are skipped), picks the first scalar
value in key order and makes three edits of a fresh copy each: `replace` of that value,
`insert` of a new key beside it (or an item before it in an array) and `remove` of it. An edit
counts as minimal when the line diff of the file (decoded from UTF-16 where it is) is one run of
changed lines no longer than the edited entry needs: the value's old and new lines, the key's
line, and one line more for a separating comma. Prints the count of minimal edits out of those
tried, per kind, and the files whose edits were not minimal (-v: with the tool's message).

A manual measurement, not a test: it reads whatever folder it is given.
"""
import argparse
import difflib
import json
import os
import shutil
import subprocess
import sys
import tempfile


def decode(data):
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16")
    return data.decode("utf-8", errors="replace")


def escape(component):
    text = component.replace("\\", "\\\\").replace(".", "\\.")
    return "\\" + text if text.startswith(":") else text


def first_scalar(value, path=()):
    """(path, container kind) of the first scalar in key order, depth first."""
    if isinstance(value, dict):
        for key in sorted(value):
            if not key and not path:
                continue  # an empty key alone is the top value's path
            found = first_scalar(value[key], path + (key,))
            if found:
                return found[0], found[1] or "dict"
        return None
    if isinstance(value, list):
        for index, item in enumerate(value):
            found = first_scalar(item, path + (str(index),))
            if found:
                return found[0], found[1] or "array"
        return None
    return (path, None) if path else None


def run(tool, args):
    return subprocess.run([tool] + args, capture_output=True, text=True)


def changed_run(before, after):
    """Removed and added line counts, and whether the changes are all in one place."""
    matcher = difflib.SequenceMatcher(None, before, after, autojunk=False)
    changes = [op for op in matcher.get_opcodes() if op[0] != "equal"]
    if not changes:
        return (0, 0, True)
    removed = sum(op[2] - op[1] for op in changes)
    added = sum(op[4] - op[3] for op in changes)
    # Runs of changes a few unchanged lines apart are one edit: a comma, a key and its value.
    contiguous = changes[-1][1] - changes[0][2] <= 3
    return (removed, added, contiguous)


def edits_for(tool, path, keypath, kind, type_word):
    new_value = {"string": ["-string", "Edited value"], "integer": ["-integer", "7"],
                 "float": ["-float", "2.5"], "bool": ["-bool", "yes"],
                 "date": ["-date", "2001-02-03T04:05:06Z"], "data": ["-data", "AAEC"]}
    value = new_value.get(type_word, ["-string", "Edited value"])
    dotted = ".".join(escape(c) for c in keypath)
    parent = ".".join(escape(c) for c in keypath[:-1])
    if kind == "dict":
        insert_path = (parent + "." if parent else "") + "SurgicalTestKey"
    else:
        insert_path = dotted
    return [("replace", ["replace", dotted] + value, 1, 1),
            ("insert", ["insert", insert_path, "-string", "Inserted"], 0, 2),
            ("remove", ["remove", dotted], 2, 0)]


def measure(tool, folder, verbose):
    tally = {}
    bad = []
    fallbacks = 0
    work = tempfile.mkdtemp()
    try:
        for name in sorted(os.listdir(folder)):
            source = os.path.join(folder, name)
            if not os.path.isfile(source):
                continue
            data = open(source, "rb").read()
            if data.startswith(b"bplist"):
                continue
            converted = run(tool, ["convert", source, "--format", "json", "-o", "-"])
            if converted.returncode != 0:
                continue
            found = first_scalar(json.loads(converted.stdout))
            if not found:
                continue
            keypath, kind = found
            dotted = ".".join(escape(c) for c in keypath)
            type_word = run(tool, ["type", dotted, source]).stdout.strip()
            old_lines = len(run(tool, ["extract", dotted, "xml", source]).stdout.splitlines())
            before = decode(data).splitlines()
            for label, args, extra_removed, extra_added in edits_for(tool, source, keypath, kind,
                                                                     type_word):
                copy = os.path.join(work, name)
                shutil.copyfile(source, copy)
                result = run(tool, args + [copy])
                tried, minimal = tally.get(label, (0, 0))
                if result.returncode != 0:
                    continue
                after = decode(open(copy, "rb").read()).splitlines()
                removed, added, contiguous = changed_run(before, after)
                # The writer's lines of the old value, twice over for data, whose lines the
                # file may have broken shorter.
                span = 2 * max(old_lines, 1)
                limit_removed = (span if label != "insert" else 0) + extra_removed
                limit_added = (1 if label != "remove" else 0) + extra_added + 1
                ok = contiguous and removed <= limit_removed + 1 and added <= limit_added
                if "rewritten whole" in result.stderr:
                    fallbacks += 1
                    if verbose:
                        print(f"  {result.stderr.strip()}")
                tally[label] = (tried + 1, minimal + ok)
                if not ok:
                    bad.append((label, name, removed, added, result.stderr.strip()))
    finally:
        shutil.rmtree(work)
    for label in ("replace", "insert", "remove"):
        tried, minimal = tally.get(label, (0, 0))
        print(f"{label:8} minimal diff in {minimal} of {tried} files")
    print(f"rewritten whole (with the tool's message): {fallbacks} edits")
    for label, name, removed, added, message in bad:
        line = f"  not minimal: {label} {name}: -{removed} +{added} lines"
        print(line + (f"  [{message}]" if verbose and message else ""))


def main():
    parser = argparse.ArgumentParser()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--tool", default=os.path.join(root, "build", "bin", "plistbridge"))
    parser.add_argument("folder")
    parser.add_argument("-v", action="store_true")
    args = parser.parse_args()
    measure(args.tool, args.folder, args.v)


if __name__ == "__main__":
    sys.exit(main())
