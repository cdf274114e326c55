#!/usr/bin/python3
"""Writes the spreadsheet fixtures of the tests into tests/data/:

contacts.xlsx, contacts.ods  the Contacts, Orders, Empty and (hidden) HiddenList tables of
                             contacts.mdb, read with mdb-export, as sheets
sheet-tricky.xlsx/.ods       what people do to a list: empty rows above the header, a column
                             left empty, blank and repeated names, leading zeros, decimals, dates,
                             times, booleans, formulas with cached results, blank rows; in
                             the .ods also currency, a percentage and a merged cell
sheet-wide.xlsx              a cell at the last row and column a sheet can have; a sheet
                             of 2,100 rows that reach the last column
sheet-giant-cell.xlsx        a cell of more than 1 MB of text
sheet-repeat.ods             a row that repeats an empty cell a billion times

Run with Debian's python3 (python3-openpyxl, python3-odf) and mdbtools:
    /usr/bin/python3 tests/data/make_sheets.py
The files are rewritten with fixed zip timestamps, so running it again changes nothing.
"""

import csv
import datetime
import io
import os
import re
import subprocess
import sys
import zipfile

import openpyxl
from openpyxl.worksheet.properties import WorksheetProperties
from odf.namespaces import TABLENS
from odf.opendocument import OpenDocumentSpreadsheet
from odf.style import Style, TableProperties
from odf.table import CoveredTableCell, Table, TableCell, TableRow
from odf.text import P

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = (2024, 1, 1, 0, 0, 0)


# ---------------------------------------------------------------- the tables of contacts.mdb


def mdb_table(name):
    """The header and rows of a table of contacts.mdb as text (binary data as hex)."""
    out = subprocess.run(
        ["mdb-export", "-T", "%Y-%m-%d %H:%M:%S", "-B", "-b", "hex",
         os.path.join(HERE, "contacts.mdb"), name],
        check=True, capture_output=True).stdout.decode("utf-8")
    rows = list(csv.reader(io.StringIO(out, newline="")))
    return rows[0], rows[1:]


def contacts():
    header, rows = mdb_table("Contacts")
    whole = {"ID", "Age", "Level"}
    decimal = {"Balance", "Score", "Rating", "Amount"}
    photo = header.index("Photo")
    header = header[:photo] + header[photo + 1:]
    values = []
    for row in rows:
        row = row[:photo] + row[photo + 1:]
        record = []
        for name, text in zip(header, row):
            if text == "":
                record.append(None)  # NULL and "" alike: an empty cell
            elif name in whole:
                record.append(int(text))
            elif name in decimal:
                record.append(float(text))
            elif name == "Joined":
                record.append(joined(text, row[0]))
            elif name == "Active":
                record.append(text == "TRUE")
            elif name == "Code":
                # As hex of its text; mdb-export drops the hyphen before the last group, which
                # Access shows.
                text = bytes.fromhex(text).decode("ascii")
                record.append(text[:24] + "-" + text[24:])
            else:
                record.append(text)
        values.append(record)
    return header, values


def joined(text, record_id):
    # libmdb cannot print days before 1899-12-30: row 4 holds 1850-06-01 (stored -18109)
    if text.startswith("1900-01-00"):
        assert record_id == "4", record_id
        return datetime.datetime(1850, 6, 1)
    return datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")


def orders():
    header, rows = mdb_table("Orders")
    values = []
    for row in rows:
        date = row[5]
        if date.startswith("1900-01-00"):
            # 1899-12-29 18:00 (stored -1.75), lost by libmdb like the date above
            date = datetime.datetime(1899, 12, 29, 18, 0)
        else:
            date = datetime.datetime.strptime(date, "%Y-%m-%d %H:%M:%S")
        values.append([int(row[0]), int(row[1]), row[2], int(row[3]), float(row[4]), date,
                       row[6] == "TRUE"])
    return header, values


def hidden_list():
    return mdb_table("HiddenList")


# ---------------------------------------------------------------- the tricky sheet

DAY = datetime.date
# Row 3 is the header, below two empty rows; column A stays empty, so the table starts at
# column B. The blank name
# and the second "Name" are for the naming rules; "Total" is a formula of Amount and Count.
TRICKY_HEADER = ["Name", "Zip", "Amount", "Count", "Joined", "Member", "Total", None, "Name",
                 "Mixed", "Start"]
TRICKY_ROWS = [
    ["Ann Example", "01234", 1234.5, 34, DAY(2024, 3, 1), True, None, "x", "Ann", 7,
     datetime.time(8, 15)],
    ["Bob", "00501", 0.1, 7, DAY(1999, 12, 31), False, None, None, None, "seven",
     datetime.time(17, 30, 5)],
    None,  # a blank row inside the list
    ["Cy", "10115", -2.25, 0, None, True, None, None, "C", DAY(2024, 2, 29), None],
]
# (column of the formula, its text, cached result) per data row; None where there is none
TRICKY_FORMULAS = [
    ("H", "D{r}*E{r}", 41973.0),
    ("H", "D{r}*E{r}", 0.7000000000000001),
    None,
    ("H", "D{r}*E{r}", -0.0),
]
TRICKY_EXTRA = ("M", 4, "beyond the header")  # a value right of the last named column


def tricky_xlsx(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Members"
    for i, name in enumerate(TRICKY_HEADER):
        if name is not None:
            ws.cell(row=3, column=2 + i, value=name)
    row_number = 4
    for record, formula in zip(TRICKY_ROWS, TRICKY_FORMULAS):
        if record is not None:
            for i, value in enumerate(record):
                if value is None:
                    continue
                cell = ws.cell(row=row_number, column=2 + i, value=value)
                if isinstance(value, DAY):
                    cell.number_format = "mm-dd-yy"  # built-in format 14
                elif isinstance(value, datetime.time):
                    cell.number_format = "[$-409]h:mm:ss AM/PM;@"
        if formula is not None:
            ws[f"{formula[0]}{row_number}"] = "=" + formula[1].format(r=row_number)
        row_number += 1
    column, row, text = TRICKY_EXTRA
    ws[f"{column}{row}"] = text
    # Percent and text-looking formats are numbers, not dates; a quoted "d" is no date part.
    ws["D4"].number_format = '0.00" days"'
    ws["D5"].number_format = "0.0%"
    # Formatted but empty cells below the list: no records.
    for r in range(row_number, row_number + 3):
        ws.cell(row=r, column=2).number_format = "0.00"
    hidden = wb.create_sheet("Secret")
    hidden.sheet_state = "hidden"
    hidden.append(["Key"])
    hidden.append(["k1"])
    very = wb.create_sheet("Internal")
    very.sheet_state = "veryHidden"
    very.append(["Key"])
    blank = wb.create_sheet("Blank")  # nothing at all
    blank.sheet_properties = WorksheetProperties()
    wb.save(path)
    patch_formula_results(path, "xl/worksheets/sheet1.xml", [
        (f"{f[0]}{4 + i}", f[2]) for i, f in enumerate(TRICKY_FORMULAS) if f is not None])
    to_shared_strings(path, rich={"Ann Example": ["Ann ", "Example"]})


def patch_formula_results(path, part, results):
    """Gives formula cells the cached result a spreadsheet program would have saved."""
    def patch(xml):
        for ref, value in results:
            xml, n = re.subn(
                rf'(<c r="{ref}"[^>]*><f>[^<]*</f>)<v\s*/?>(</v>)?', rf"\g<1><v>{value!r}</v>",
                xml)
            assert n == 1, ref
        return xml
    rewrite_zip(path, {part: patch})


def to_shared_strings(path, rich=None):
    """Moves inline strings into sharedStrings.xml, as Excel itself writes them."""
    rich = rich or {}
    strings = []
    index = {}

    def shared(xml):
        def replace(match):
            text = match.group(2)
            if text not in index:
                index[text] = len(strings)
                strings.append(text)
            return f'{match.group(1)} t="s"><v>{index[text]}</v></c>'
        return re.sub(r'(<c r="[A-Z]+[0-9]+"(?: s="[0-9]+")?) t="inlineStr"><is><t[^>]*>'
                      r'(.*?)</t></is></c>', replace, xml, flags=re.S)

    sheets = {}
    with zipfile.ZipFile(path) as archive:
        for name in archive.namelist():
            if name.startswith("xl/worksheets/sheet"):
                sheets[name] = shared
    rewrite_zip(path, sheets)

    def item(text):
        if text in rich:
            runs = "".join(f'<r><rPr><b/></rPr><t xml:space="preserve">{run}</t></r>'
                           for run in rich[text])
            return f"<si>{runs}</si>"
        return f'<si><t xml:space="preserve">{text}</t></si>'
    table = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
             '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
             f'count="{len(strings)}" uniqueCount="{len(strings)}">'
             + "".join(item(text) for text in strings) + "</sst>")
    rels_type = ("http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                 "sharedStrings")
    content_type = ("application/vnd.openxmlformats-officedocument.spreadsheetml."
                    "sharedStrings+xml")
    rewrite_zip(path, {
        "xl/_rels/workbook.xml.rels": lambda xml: xml.replace(
            "</Relationships>",
            f'<Relationship Id="rIdStrings" Type="{rels_type}" Target="sharedStrings.xml"/>'
            "</Relationships>"),
        "[Content_Types].xml": lambda xml: xml.replace(
            "</Types>",
            f'<Override PartName="/xl/sharedStrings.xml" ContentType="{content_type}"/></Types>'),
    }, add={"xl/sharedStrings.xml": table})


# ---------------------------------------------------------------- writing

def write_xlsx(path, sheets):
    """sheets: (name, header, rows, state) each."""
    wb = openpyxl.Workbook()
    wb.remove(wb.active)
    for name, header, rows, state in sheets:
        ws = wb.create_sheet(name)
        ws.sheet_state = state
        ws.append(header)
        for row in rows:
            ws.append(row)
    wb.save(path)


def ods_cell(value, style=None):
    attributes = {}
    if style is not None:
        attributes["stylename"] = style
    if value is None:
        return TableCell(**attributes)
    if isinstance(value, bool):
        cell = TableCell(valuetype="boolean", booleanvalue="true" if value else "false",
                         **attributes)
        text = "TRUE" if value else "FALSE"
    elif isinstance(value, (int, float)):
        cell = TableCell(valuetype="float", value=repr(value), **attributes)
        text = repr(value)
    elif isinstance(value, datetime.datetime):
        cell = TableCell(valuetype="date", datevalue=value.strftime("%Y-%m-%dT%H:%M:%S"),
                         **attributes)
        text = value.strftime("%Y-%m-%d %H:%M:%S")
    elif isinstance(value, DAY):
        cell = TableCell(valuetype="date", datevalue=value.isoformat(), **attributes)
        text = value.isoformat()
    elif isinstance(value, datetime.time):
        cell = TableCell(valuetype="time",
                         timevalue=f"PT{value.hour:02}H{value.minute:02}M{value.second:02}S",
                         **attributes)
        text = value.isoformat()
    else:
        cell = TableCell(valuetype="string", **attributes)
        text = value
    # A line break inside a cell is a new paragraph.
    for line in text.replace("\r\n", "\n").split("\n"):
        cell.addElement(P(text=line))
    return cell


def ods_row(values, start_column=0):
    row = TableRow()
    if start_column:
        row.addElement(TableCell(numbercolumnsrepeated=start_column))
    for value in values:
        row.addElement(ods_cell(value))
    return row


def hidden_table_style(doc):
    style = Style(name="taHidden", family="table")
    style.addElement(TableProperties(display="false"))
    doc.automaticstyles.addElement(style)
    return style


def write_ods(path, sheets):
    doc = OpenDocumentSpreadsheet()
    hidden = hidden_table_style(doc)
    for name, header, rows, state in sheets:
        table = Table(name=name, stylename=hidden if state != "visible" else None)
        table.addElement(ods_row(header))
        for row in rows:
            table.addElement(ods_row(row))
        doc.spreadsheet.addElement(table)
    doc.save(path)


def tricky_ods(path):
    doc = OpenDocumentSpreadsheet()
    hidden = hidden_table_style(doc)
    table = Table(name="Members")
    # Two empty rows, written the way LibreOffice writes runs of them.
    empty = TableRow(numberrowsrepeated=2)
    empty.addElement(TableCell(numbercolumnsrepeated=1024))
    table.addElement(empty)
    table.addElement(ods_row(TRICKY_HEADER, start_column=1))
    for number, (record, formula) in enumerate(zip(TRICKY_ROWS, TRICKY_FORMULAS), start=4):
        row = TableRow()
        if record is None:
            row.addElement(TableCell(numbercolumnsrepeated=12))
            table.addElement(row)
            continue
        row.addElement(TableCell())
        for i, value in enumerate(record):
            if i == 6 and formula is not None:
                cell = TableCell(valuetype="float", value=repr(formula[2]),
                                 formula=f"of:=[.D{number}]*[.E{number}]")
                if number == 5:
                    cell.setAttrNS(TABLENS, "number-columns-spanned", "2")  # merged with I5
                cell.addElement(P(text=repr(formula[2])))
                row.addElement(cell)
            elif i == 7 and number == 5:
                row.addElement(CoveredTableCell())
            elif i == 2 and number == 4:
                cell = TableCell(valuetype="currency", currency="EUR", value=repr(value))
                cell.addElement(P(text="1.234,50 €"))
                row.addElement(cell)
            elif i == 2 and number == 5:
                cell = TableCell(valuetype="percentage", value=repr(value))
                cell.addElement(P(text="10%"))
                row.addElement(cell)
            else:
                row.addElement(ods_cell(value))
        if number == TRICKY_EXTRA[1]:
            row.addElement(ods_cell(TRICKY_EXTRA[2]))  # column M, as in the .xlsx
        table.addElement(row)
    # What LibreOffice writes below the last row of a sheet.
    tail = TableRow(numberrowsrepeated=1048570)
    tail.addElement(TableCell(numbercolumnsrepeated=1024))
    table.addElement(tail)
    doc.spreadsheet.addElement(table)
    secret = Table(name="Secret", stylename=hidden)
    secret.addElement(ods_row(["Key"]))
    secret.addElement(ods_row(["k1"]))
    doc.spreadsheet.addElement(secret)
    doc.spreadsheet.addElement(Table(name="Blank"))
    doc.save(path)


def wide_xlsx(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Far"  # one cell at the last row and column: 2 records of 16,384 fields
    ws["A1"] = "Name"
    ws["A2"] = "Ann"
    ws["XFD1048576"] = "far away"
    wide = wb.create_sheet("Wide")  # 2,100 records of 16,384 fields: too many to be a list
    wide["A1"] = "Name"
    for row in range(2, 2102):
        wide.cell(row=row, column=1, value=f"n{row}")
        wide.cell(row=row, column=16384, value=row)
    wb.save(path)


def giant_cell_xlsx(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.append(["Name", "Notes"])
    ws.append(["Ann", "x" * 100])
    wb.save(path)
    # openpyxl cuts text at Excel's 32,767 characters; other writers do not.
    rewrite_zip(path, {"xl/worksheets/sheet1.xml": lambda xml: xml.replace(
        "x" * 100, "x" * (1 << 20) + "y")})


def repeat_ods(path):
    doc = OpenDocumentSpreadsheet()
    table = Table(name="Repeat")
    table.addElement(ods_row(["Name"]))
    row = ods_row(["Ann"])
    row.addElement(TableCell(numbercolumnsrepeated=1000000000))
    row.addElement(ods_cell("far away"))
    table.addElement(row)
    doc.spreadsheet.addElement(table)
    doc.save(path)


def rewrite_zip(path, patches, add=None):
    """Rewrites the archive with fixed timestamps, patching the text of some members."""
    with zipfile.ZipFile(path) as source:
        members = [(info, source.read(info.filename)) for info in source.infolist()]
    with zipfile.ZipFile(path, "w") as target:
        for info, data in members:
            if info.filename in patches:
                data = patches[info.filename](data.decode("utf-8")).encode("utf-8")
            fixed = zipfile.ZipInfo(info.filename, FIXED_TIME)
            fixed.compress_type = info.compress_type
            fixed.external_attr = info.external_attr
            target.writestr(fixed, data)
        for name, text in (add or {}).items():
            fixed = zipfile.ZipInfo(name, FIXED_TIME)
            fixed.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(fixed, text.encode("utf-8"))


def fix_ods_dates(path):
    # odfpy stamps meta.xml with the time it ran.
    rewrite_zip(path, {"meta.xml": lambda xml: re.sub(
        r"<meta:(creation-date|date)>[^<]*</meta:\1>", "", xml)})


def fix_xlsx_dates(path):
    rewrite_zip(path, {"docProps/core.xml": lambda xml: re.sub(
        r"(<dcterms:(created|modified)[^>]*>)[^<]*", r"\g<1>2024-01-01T00:00:00Z", xml)})


def main():
    os.chdir(HERE)
    contact_sheets = [
        ("Contacts", *contacts(), "visible"),
        ("Orders", *orders(), "visible"),
        ("Empty", ["Key", "Label"], [], "visible"),
        ("HiddenList", *hidden_list(), "hidden"),
    ]
    write_xlsx("contacts.xlsx", contact_sheets)
    write_ods("contacts.ods", contact_sheets)
    tricky_xlsx("sheet-tricky.xlsx")
    tricky_ods("sheet-tricky.ods")
    wide_xlsx("sheet-wide.xlsx")
    giant_cell_xlsx("sheet-giant-cell.xlsx")
    repeat_ods("sheet-repeat.ods")
    for name in ("contacts.xlsx", "sheet-tricky.xlsx", "sheet-wide.xlsx", "sheet-giant-cell.xlsx"):
        fix_xlsx_dates(name)
    for name in ("contacts.ods", "sheet-tricky.ods", "sheet-repeat.ods"):
        fix_ods_dates(name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
