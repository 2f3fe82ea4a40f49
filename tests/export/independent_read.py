"""Reads a table with a reader that is not brisvel's and prints its rows as JSON.

Usage: independent_read.py KIND FILE [TABLE]
KIND: dbf (Debian's dbfread), csv (Python's csv module, UTF-8),
      xls (Debian's xlrd; TABLE is the sheet), html (Python's html.parser).
Dates come out as ISO text, binary data as Base64, null as null.
"""
import base64
import datetime
import decimal
import json
import sys


def plain(value):
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return value.isoformat()
    if isinstance(value, decimal.Decimal):
        return float(value)
    if isinstance(value, bytes):
        return base64.b64encode(value).decode("ascii")
    return value


def read_dbf(path):
    import dbfread
    table = dbfread.DBF(path, encoding="cp1252", char_decode_errors="strict")
    names = table.field_names
    memos = {f.name for f in table.fields if f.type == "M"}
    rows = []
    for record in table:
        row = []
        for n in names:
            value = record[n]
            # dbfread takes a dBASE IV memo's stored length (which counts the
            # 8-byte block header, as dBASE itself writes it) as the text's
            # length and returns the block's padding behind the text.
            if n in memos and isinstance(value, str):
                value = value.rstrip("\x00")
            row.append(plain(value))
        rows.append(row)
    return names, rows


def read_csv(path):
    import csv
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    return rows[0], [[cell if cell != "" else None for cell in row] for row in rows[1:]]


def read_xls(path, sheet):
    import xlrd
    book = xlrd.open_workbook(path)
    s = book.sheet_by_name(sheet) if sheet else book.sheet_by_index(0)
    names = [str(c.value) for c in s.row(0)]
    rows = []
    for r in range(1, s.nrows):
        row = []
        for c in s.row(r):
            if c.ctype == xlrd.XL_CELL_EMPTY:
                row.append(None)
            elif c.ctype == xlrd.XL_CELL_DATE:
                row.append(xlrd.xldate.xldate_as_datetime(c.value, book.datemode).isoformat())
            elif c.ctype == xlrd.XL_CELL_BOOLEAN:
                row.append(bool(c.value))
            else:
                row.append(c.value)
        rows.append(row)
    return names, rows


def read_html(path):
    from html.parser import HTMLParser

    class Cells(HTMLParser):
        def __init__(self):
            super().__init__()
            self.rows, self.cell = [], None

        def handle_starttag(self, tag, attrs):
            if tag == "tr":
                self.rows.append([])
            elif tag in ("td", "th"):
                self.cell = ""
            elif tag == "br" and self.cell is not None:
                self.cell += "\n"  # a line break as a browser shows it

        def handle_endtag(self, tag):
            if tag in ("td", "th") and self.cell is not None:
                self.rows[-1].append(self.cell if self.cell != "" else None)
                self.cell = None

        def handle_data(self, data):
            if self.cell is not None:
                self.cell += data.replace("\xa0", " ")  # &nbsp; keeps a blank a browser would drop

    parser = Cells()
    with open(path, encoding="utf-8") as f:
        parser.feed(f.read())
    return parser.rows[0], parser.rows[1:]


def main():
    kind, path = sys.argv[1], sys.argv[2]
    table = sys.argv[3] if len(sys.argv) > 3 else None
    readers = {"dbf": read_dbf, "csv": read_csv, "html": read_html}
    names, rows = read_xls(path, table) if kind == "xls" else readers[kind](path)
    json.dump({"fields": names, "rows": rows}, sys.stdout, ensure_ascii=False)


main()
