#!/usr/bin/python3
"""Loading 100,000 records from a CSV file and from an Excel workbook (the rows of
big-100k.mdb, written by bench/make_big_lists.py) beside the Access table and its references
in the same run: mdb-export on the .mdb, and Debian's xlsx2csv on the workbook. Best of three;
times and peak memory.

Loading is what --test-merge and Choose Recipients both do first: open the list and read every
record into the record list (bench/load_list). Goals: CSV within 1x mdb-export's time, XLSX
within 2x and faster than xlsx2csv; peak memory within 2x of the Access case. The whole
--test-merge and Choose Recipients (until its rows are shown) are measured too.

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
LOAD_LIST = os.path.join(BUILD, "bench", "load_list")


def measured(command, env):
    """(seconds, peak memory in KiB) of one run, as GNU time sees it: the peak of the command
    alone, not of this script, which a forked child starts out as."""
    with tempfile.NamedTemporaryFile("r") as report:
        timed(["/usr/bin/time", "-f", "%e %M", "-o", report.name] + command, env=env)
        seconds, peak = report.read().split()[-2:]
        return float(seconds), int(peak)


def best(command, env):
    return min(measured(command, env) for _ in range(ROUNDS))


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
        load_times, merge_times, open_times = {}, {}, {}
        for name, path, table in lists:
            merge = os.path.join(folder, name + ".mgx")
            mgx(merge, path, table, TEMPLATE)
            load_times[name] = best([LOAD_LIST, merge], env)
            merge_times[name] = best([MERGIX, "--test-merge", merge], env)
            open_times[name] = best([OPEN_RECIPIENTS, merge], env)
        export = best(["mdb-export", big, "Recipients"], env)
        xlsx2csv = best(["xlsx2csv", xlsx], env)

    print("100,000 records from each kind of list, best of %d" % ROUNDS)
    print("  %-8s %-28s %-28s %-28s" % ("list", "loading", "--test-merge", "Choose Recipients"))
    for name, _, _ in lists:
        print("  %-8s" % name + "".join("  %7.3f s, peak %7d KiB  " % times[name]
                                        for times in (load_times, merge_times, open_times)))
    print("  mdb-export on the .mdb:  %.3f s" % export[0])
    print("  xlsx2csv on the .xlsx:   %.3f s" % xlsx2csv[0])
    for name, goal in (("CSV", 1.0), ("XLSX", 2.0)):
        print("  %s loading / mdb-export: %.2f (goal <= %.1f)"
              % (name, load_times[name][0] / export[0], goal))
        for what, times in (("--test-merge", merge_times), ("Choose Recipients", open_times)):
            print("  %s %s / Access %s: %.2f"
                  % (name, what, what, times[name][0] / times["Access"][0]))
        for what, times in (("loading", load_times), ("--test-merge", merge_times),
                            ("Choose Recipients", open_times)):
            print("  %s peak memory %s / Access: %.2f (goal <= 2.0)"
                  % (name, what, times[name][1] / times["Access"][1]))
    print("  XLSX loading / xlsx2csv: %.2f (goal < 1.0)" % (load_times["XLSX"][0] / xlsx2csv[0]))

if __name__ == "__main__":
    main()
