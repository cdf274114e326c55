#!/usr/bin/python3
"""Writes contacts.csv and contacts.sqlite: the Contacts table of contacts.mdb as a CSV file and
an SQLite database, for tests that compare them with the Access table.

Run from anywhere: /usr/bin/python3 tests/data/make_contacts_lists.py (needs mdb-export).
The text fields are copied exactly (line breaks within them stay CR LF); dates become ISO dates, Active a number, the binary fields
are left out.
"""
import csv
import io
import os
import sqlite3
import subprocess
from datetime import datetime

HERE = os.path.dirname(os.path.abspath(__file__))
COLUMNS = ["ID", "FirstName", "LastName", "Email", "City", "Age", "Joined", "Active",
           "Notes", "Amount"]


def access_rows():
    text = subprocess.run(["mdb-export", "-b", "strip", os.path.join(HERE, "contacts.mdb"),
                           "Contacts"], check=True, capture_output=True).stdout.decode("utf-8")
    return list(csv.DictReader(io.StringIO(text, newline="")))


def iso_date(text):
    if not text:
        return ""
    try:
        return datetime.strptime(text, "%m/%d/%y %H:%M:%S").strftime("%Y-%m-%d %H:%M:%S")
    except ValueError:
        return ""  # mdb-export's "01/00/00" for a date it cannot show


def main():
    rows = access_rows()
    for row in rows:
        row["Joined"] = iso_date(row["Joined"])
    with open(os.path.join(HERE, "contacts.csv"), "w", newline="", encoding="utf-8") as out:
        writer = csv.writer(out, lineterminator="\r\n")
        writer.writerow(COLUMNS)
        for row in rows:
            writer.writerow([row[name] for name in COLUMNS])

    path = os.path.join(HERE, "contacts.sqlite")
    if os.path.exists(path):
        os.remove(path)
    db = sqlite3.connect(path)
    db.execute("CREATE TABLE Contacts (ID INTEGER PRIMARY KEY, FirstName VARCHAR(50), "
               "LastName VARCHAR(50), Email TEXT, City TEXT, Age INTEGER, Joined DATETIME, "
               "Active BOOLEAN, Notes TEXT, Amount NUMERIC(10,2))")
    db.execute("CREATE VIEW Adults AS SELECT FirstName, Email, Age FROM Contacts WHERE Age >= 18")
    db.execute('CREATE TABLE "Odd ""quoted"" name" (Value TEXT)')
    db.execute('INSERT INTO "Odd ""quoted"" name" VALUES (\'x\')')

    def value(name, text):
        if text == "":
            return None
        if name in ("ID", "Age", "Active"):
            return int(text)
        if name == "Amount":
            return float(text)
        return text

    db.executemany("INSERT INTO Contacts VALUES (%s)" % ",".join("?" * len(COLUMNS)),
                   [[value(name, row[name]) for name in COLUMNS] for row in rows])
    db.commit()
    db.close()


if __name__ == "__main__":
    main()
