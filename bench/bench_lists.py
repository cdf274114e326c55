#!/usr/bin/python3
"""Loading 100,000 records from a CSV file and from an Excel workbook (the rows of
big-100k.mdb, written by bench/make_big_lists.py), for mergix --test-merge and for Choose
Recipients, beside the Access table and its references in the same run: mdb-export on the
.mdb, and Debian's xlsx2csv on the workbook. Best of three; times and peak memory.

Goals: CSV within 1x mdb-export's time, XLSX within 2x and faster than xlsx2csv; peak memory
within 2x of the Access case.

Usage: bench/bench_lists.py [BUILD_DIR]   (default: build)"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import ROOT, ROUNDS, TEMPLATE, mgx, require_data, timed  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
FIXTURES = os.path.abspath(os.path.join(BUILD, "bench", "data"))
MERGIX = os.path.join(BUILD, "mergix")
OPEN_RECIPIENTS = os.path.join(BUILD, "bench", "open_recipients")


def best(command, env):
    return min(timed(command, env=env) for _ in range(ROUNDS))


def first_sheet(path):
    import openpyxl
    book = openpyxl.load_workbook(path, read_only=True)
    try:
        return book.sheetnames[0]
    finally:
        book.close()


def main():
    require_data("big-100k.mdb")
    big = os.path.join(FIXTURES, "big-100k.mdb")
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "bench", "make_big_lists.py"),
                        folder], check=True, stdout=subprocess.DEVNULL)
        csv = os.path.join(folder, "big-100k.csv")
        xlsx = os.path.join(folder, "big-100k.xlsx")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=folder,
                   XDG_CONFIG_HOME=folder, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
        lists = [("Access", big, "Recipients"), ("CSV", csv, "big-100k"),
                 ("XLSX", xlsx, first_sheet(xlsx))]
        merge_times, open_times = {}, {}
        for name, path, table in lists:
            merge = os.path.join(folder, name + ".mgx")
            mgx(merge, path, table, TEMPLATE)
            merge_times[name] = best([MERGIX, "--test-merge", merge], env)
            open_times[name] = best([OPEN_RECIPIENTS, merge], env)
        export = best(["mdb-export", big, "Recipients"], env)
        xlsx2csv = best(["xlsx2csv", xlsx], env)

    print("100,000 records from each kind of list, best of %d" % ROUNDS)
    print("  %-8s %-28s %-28s" % ("list", "--test-merge", "Choose Recipients"))
    for name, _, _ in lists:
        print("  %-8s %7.3f s, peak %7d KiB    %7.3f s, peak %7d KiB" % (
            name, merge_times[name][0], merge_times[name][1], open_times[name][0],
            open_times[name][1]))
    print("  mdb-export on the .mdb:  %.3f s, peak %d KiB" % export)
    print("  xlsx2csv on the .xlsx:   %.3f s, peak %d KiB" % xlsx2csv)
    access_peak = max(merge_times["Access"][1], open_times["Access"][1])
    for name, goal in (("CSV", 1.0), ("XLSX", 2.0)):
        for what, times in (("--test-merge", merge_times), ("Choose Recipients", open_times)):
            print("  %s %s / mdb-export: %.2f (goal <= %.1f)"
                  % (name, what, times[name][0] / export[0], goal))
        peak = max(merge_times[name][1], open_times[name][1])
        print("  %s peak memory / Access: %.2f (goal <= 2.0)" % (name, peak / access_peak))
    print("  XLSX --test-merge / xlsx2csv: %.2f (goal < 1.0)"
          % (merge_times["XLSX"][0] / xlsx2csv[0]))


if __name__ == "__main__":
    main()
