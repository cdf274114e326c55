#!/usr/bin/python3
"""A merge on 1,000,000 rows of a PostgreSQL table beside psql's \\copy of the same columns to
standard output, in the same run, on a server the benchmark starts itself (the tests'
tests/sources/postgres_test_server.py). Best of three; times and peak memory. Goal: --test-merge
to /dev/null within 2x of \\copy.

Usage: bench/bench_server.py [BUILD_DIR]   (default: build)"""

import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import ROOT, ROUNDS, TEMPLATE, mgx  # noqa: E402
from bench_lists import best  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
MERGIX = os.path.join(BUILD, "mergix")
ROWS = 1000000
PASSWORD = "s3cret pass"
COLUMNS = '"ID", "FirstName", "LastName", "City", "Region", "Age", "Balance", "Joined", ' \
          '"Active", "Email"'

TABLE_SQL = """
CREATE TABLE big AS SELECT
    n AS "ID", 'First' || n AS "FirstName", 'Last' || (n %% 977) AS "LastName",
    (ARRAY['Leeds', 'Lyon', 'Sevilla', 'Genève'])[1 + n %% 4] AS "City",
    (ARRAY['north', 'south'])[1 + n %% 2] AS "Region", 18 + n %% 70 AS "Age",
    round((n %% 10000) / 7.0, 2) AS "Balance", DATE '2000-01-01' + n %% 9000 AS "Joined",
    n %% 3 = 0 AS "Active", 'member' || n || '@example.org' AS "Email"
FROM generate_series(1, %d) AS n;
""" % ROWS


def main():
    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)
        sql = os.path.join(folder, "big.sql")
        with open(sql, "w", encoding="utf-8") as out:
            out.write(TABLE_SQL)
        os.chmod(sql, 0o644)
        server = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(ROOT, "tests", "sources",
                                              "postgres_test_server.py"), sql],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            port = server.stdout.readline().split()[1]
            address = "postgresql://mergix@127.0.0.1:%s/club" % port
            merge = os.path.join(folder, "server.mgx")
            mgx(merge, address, "big", TEMPLATE)
            env = dict(os.environ, MERGIX_DB_PASSWORD=PASSWORD, PGPASSWORD=PASSWORD,
                       XDG_CONFIG_HOME=folder, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
            psql = sorted(glob.glob("/usr/lib/postgresql/*/bin/psql"))[-1]
            merge_time = best([MERGIX, "--test-merge", merge], env)
            copy_time = best([psql, "-h", "127.0.0.1", "-p", port, "-U", "mergix", "-d", "club",
                              "-c", "\\copy (SELECT %s FROM big) TO STDOUT" % COLUMNS], env)
        finally:
            server.stdin.close()
            server.wait(timeout=60)

    print("%d rows of a PostgreSQL table, best of %d" % (ROWS, ROUNDS))
    print("  mergix --test-merge > /dev/null:  %7.3f s, peak %7d KiB" % merge_time)
    print("  psql \\copy ... TO STDOUT:         %7.3f s, peak %7d KiB" % copy_time)
    print("  PostgreSQL --test-merge / psql \\copy: %.2f (goal <= 2.0)"
          % (merge_time[0] / copy_time[0]))


if __name__ == "__main__":
    main()
