# Prints what xlrd (an independent reader) finds in a workbook, as JSON:
# date mode, sheets with every cell's type and value, and the defined names.
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)  # fonts, formats and styles checked too
out = {"datemode": book.datemode, "biff": book.biff_version, "sheets": [], "names": []}
for sheet in book.sheets():
    cells = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            kind = sheet.cell_type(r, c)
            value = sheet.cell_value(r, c)
            if kind == xlrd.XL_CELL_DATE:
                try:
                    value = list(xlrd.xldate_as_tuple(value, book.datemode))
                except xlrd.xldate.XLDateAmbiguous:
                    value = ["serial", value]  # before March 1900 xlrd gives the number only
            row.append([kind, value])
        cells.append(row)
    out["sheets"].append({"name": sheet.name, "rows": sheet.nrows, "cols": sheet.ncols, "cells": cells})
for name in book.name_obj_list:
    area = None
    if name.result is not None and name.result.kind == xlrd.oREF:
        area = list(name.result.value[0].coords)
    out["names"].append({"name": name.name, "scope": name.scope, "area": area})
json.dump(out, sys.stdout)
