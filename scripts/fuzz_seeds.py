#!/usr/bin/env python3
"""Seed inputs for the fuzz targets from the real fixture files.

A table and its companion files become one input, joined by the marker line
tests/fuzz/FuzzTable.h splits at, in the order that target writes them."""
import os
import re
import sys

MARKER = b"\n#BRISVEL-PART#\n"
# Companions per target, by extension (lower case), after the main file.
KINDS = {
    "dbase": (("dbase", "foxpro"), ".dbf", [".dbt", ".mdx", ".fpt", ".cdx", ".ndx"]),
    "paradox": (("paradox",), ".db", [".px", ".mb"]),
    "excel": (("excel",), ".xls", []),
    "html": (("html",), (".htm", ".html"), []),
    "csv": (("csv",), (".csv", ".tsv", ".txt", ".tab"), ["schema.ini"]),
}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main(fixtures, out):
    for target, (folders, mains, companions) in KINDS.items():
        dest = os.path.join(out, target)
        os.makedirs(dest, exist_ok=True)
        n = 0
        for folder in folders:
            for root, _, files in os.walk(os.path.join(fixtures, folder)):
                lower = {f.lower(): f for f in files}
                for f in sorted(files):
                    stem, ext = os.path.splitext(f)
                    if not ext.lower().endswith(mains if isinstance(mains, tuple) else (mains,)):
                        continue
                    if os.path.getsize(os.path.join(root, f)) > 1 << 20:
                        continue
                    parts = [read(os.path.join(root, f))]
                    for c in companions:
                        if c == "schema.ini":
                            ini = lower.get("schema.ini")
                            text = read(os.path.join(root, ini)) if ini else b""
                            # The section of this file, renamed to the target's file name.
                            text = re.sub(rb"\[" + re.escape(f.encode()) + rb"\]", b"[t.csv]", text, flags=re.I)
                            parts.append(text)
                        else:
                            name = lower.get(stem.lower() + c)
                            parts.append(read(os.path.join(root, name)) if name else b"")
                    while len(parts) > 1 and not parts[-1]:
                        parts.pop()
                    with open(os.path.join(dest, "%s-%03d" % (target, n)), "wb") as o:
                        o.write(MARKER.join(parts))
                    n += 1
    # The filter target reads expressions; a few real ones.
    dest = os.path.join(out, "filter")
    os.makedirs(dest, exist_ok=True)
    for i, e in enumerate([b"NAME = 'M\xc3\xbcller'", b"YEAR > 1990 and not AKTIV", b"DATUM >= '01.01.2000' or [Stra\xc3\x9fe Nr] <> ''"]):
        with open(os.path.join(dest, "filter-%d" % i), "wb") as o:
            o.write(e)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
