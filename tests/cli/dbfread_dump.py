"""Prints a dBASE table as brisvel-cli dump prints it, read by Debian's dbfread.

Usage: dbfread_dump.py TABLE ENCODING
Used by the tests as an independent reader of the same files.
"""
import csv
import datetime
import decimal
import sys

import dbfread


def text(value, field):
    if value is None:
        return ""
    if isinstance(value, bool):
        return "True" if value else "False"
    if field.type == "Y":
        t = "%.4f" % value
        while t.endswith("0") and len(t) - t.index(".") > 3:
            t = t[:-1]
        return t.replace(".", ",")
    if isinstance(value, (float, decimal.Decimal)):
        value = float(value)
        if 1e15 <= abs(value) < 1e21 and value == int(value):
            return "%.0f" % value
        return ("%.15g" % value).replace(".", ",")
    if isinstance(value, int):
        return str(value)
    if isinstance(value, datetime.datetime):
        value = value + datetime.timedelta(microseconds=500000 if value.microsecond >= 500000 else 0)
        value = value.replace(microsecond=0)
        return value.strftime("%d.%m.") + "%04d" % value.year + value.strftime(" %H:%M:%S")
    if isinstance(value, datetime.date):
        return value.strftime("%d.%m.") + "%04d" % value.year
    if isinstance(value, bytes):
        value = value.decode("latin-1")
    return value.rstrip("\x00").rstrip(" ") if field.type == "C" else value.rstrip("\x00")


def stored_number(raw):
    """Decimal numbers show their stored digits with a decimal comma."""
    t = raw.decode("ascii").strip(" \x00").lstrip("+")
    if not any(c.isdigit() for c in t) or "*" in t:
        return ""
    t = t.replace(".", ",")
    if t.startswith(","):
        t = "0" + t
    if t.startswith("-,"):
        t = "-0" + t[1:]
    return t


def main():
    # Records as lists: a table may name two fields alike.
    as_list = lambda items: [value for _, value in items]
    table = dbfread.DBF(sys.argv[1], encoding=sys.argv[2], char_decode_errors="strict", recfactory=as_list)
    raw = dbfread.DBF(sys.argv[1], encoding=sys.argv[2], raw=True, recfactory=as_list)
    shown = [i for i, f in enumerate(table.fields) if f.type != "0"]
    out = csv.writer(sys.stdout, lineterminator="\r\n")
    out.writerow([table.fields[i].name for i in shown])
    for record, stored in zip(table, raw):
        row = []
        for i in shown:
            f = table.fields[i]
            if f.type in "NF" and (f.decimal_count > 0 or f.length > 18):
                row.append(stored_number(stored[i]))
            else:
                row.append(text(record[i], f))
        out.writerow(row)


if __name__ == "__main__":
    sys.stdout.reconfigure(encoding="utf-8", newline="")
    main()
