#!/usr/bin/python3
"""Writes big-100k.csv and big-100k.xlsx into the folder given as argument: the Recipients
table of bench/data/big-100k.mdb.xz with its columns and types, for the benchmarks that read
a list of each kind.

    /usr/bin/python3 bench/make_big_lists.py OUTPUT_FOLDER

The CSV has a header line, ISO dates ("2005-04-09 23:03:35") and TRUE/FALSE; the workbook has
one sheet, Recipients, with numbers as numbers, dates as dates and Yes/No as booleans, written
by openpyxl's write-only mode. Needs mdbtools, xz and Debian's python3-openpyxl.
"""

import csv
import datetime
import io
import os
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.cell import WriteOnlyCell

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "data", "big-100k.mdb.xz")
TABLE = "Recipients"
DATE_FORMAT = "%Y-%m-%d %H:%M:%S"


def export(database):
    """The table's header and rows as mdb-export writes them."""
    out = subprocess.run(
        ["mdb-export", "-T", DATE_FORMAT, "-B", database, TABLE],
        check=True, capture_output=True).stdout.decode("utf-8")
    rows = list(csv.reader(io.StringIO(out, newline="")))
    return rows[0], rows[1:]


def column_types(database):
    """Each column's Access type name, as mdb-schema prints it."""
    schema = subprocess.run(["mdb-schema", "-T", TABLE, database, "access"], check=True,
                            capture_output=True).stdout.decode("utf-8")
    types = {}
    for line in schema.splitlines():
        line = line.strip()
        if line.startswith("["):
            name, _, kind = line[1:].partition("]")
            types[name] = kind.strip().rstrip(",").strip()
    return types


def converter(kind):
    if kind.startswith(("Long Integer", "Integer", "Byte")):
        return int
    if kind.startswith(("Currency", "Double", "Single", "Numeric")):
        return float
    if kind.startswith("DateTime"):
        return lambda text: datetime.datetime.strptime(text, DATE_FORMAT)
    if kind.startswith("Boolean"):
        return lambda text: text == "TRUE"
    return str


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        database = os.path.join(scratch, "big-100k.mdb")
        with open(database, "wb") as target:
            subprocess.run(["xz", "-dc", SOURCE], check=True, stdout=target)
        header, rows = export(database)
        types = column_types(database)
    convert = [converter(types.get(name, "Text")) for name in header]

    with open(os.path.join(folder, "big-100k.csv"), "w", encoding="utf-8", newline="") as out:
        writer = csv.writer(out, lineterminator="\r\n")
        writer.writerow(header)
        writer.writerows(rows)

    book = openpyxl.Workbook(write_only=True)
    sheet = book.create_sheet(TABLE)
    sheet.append(header)
    date_columns = [i for i, kind in enumerate(header)
                    if types.get(kind, "").startswith("DateTime")]
    # One styled cell per date column, reused: write-only cells are written as they come.
    date_cells = {}
    for i in date_columns:
        date_cells[i] = WriteOnlyCell(sheet)
        date_cells[i].number_format = "yyyy-mm-dd hh:mm:ss"
    for row in rows:
        values = [None if text == "" else to(text) for to, text in zip(convert, row)]
        for i in date_columns:
            if values[i] is not None:
                date_cells[i].value = values[i]
                values[i] = date_cells[i]
        sheet.append(values)
    book.save(os.path.join(folder, "big-100k.xlsx"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
