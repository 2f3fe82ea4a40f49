"""Prints the cells of every table row of an HTML page as JSON, read by
Python's own html.parser: a list of rows, each a list of cell texts, the
heading row first. <br> is a line break and a non-breaking space a blank.

Usage: html_cells.py PAGE
Used by the tests as an independent reader of the pages the writer makes.
"""
import json
import sys
from html.parser import HTMLParser


class Cells(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows = []
        self.cell = None

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.rows.append([])
        elif tag in ("td", "th"):
            self.cell = []
        elif tag == "br" and self.cell is not None:
            self.cell.append("\n")

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.rows[-1].append("".join(self.cell).replace("\xa0", " "))
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        parser = Cells()
        parser.feed(f.read())
        parser.close()
    json.dump(parser.rows, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
