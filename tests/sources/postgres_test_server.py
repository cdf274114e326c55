#!/usr/bin/python3
"""A PostgreSQL server of the tests' own, from Debian's postgresql package: a new cluster in a
temporary folder, listening on 127.0.0.1 only with a port the system picks, password logins
(scram-sha-256) for user "mergix" with password "s3cret pass", and database "club" filled from
the SQL file given. Prints "PORT <n>" once it is ready; a line "stop" on its input stops the
server at once (as a crash would), and the end of its input stops it and removes the folder.
Run as root, the server runs as the system user postgres, which PostgreSQL demands.

Usage: postgres_test_server.py SQLFILE"""

import glob
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile

USER = "mergix"
PASSWORD = "s3cret pass"


def bin_folder():
    folders = sorted(glob.glob("/usr/lib/postgresql/*/bin"),
                     key=lambda f: int(f.split("/")[-2]))
    if not folders:
        sys.exit("postgres_test_server: Debian's postgresql package is not installed")
    return folders[-1]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main(sql_file):
    binaries = bin_folder()
    folder = tempfile.mkdtemp(prefix="mergix-pg-")
    as_postgres = []
    if os.geteuid() == 0:
        entry = pwd.getpwnam("postgres")
        os.chown(folder, entry.pw_uid, entry.pw_gid)
        as_postgres = ["runuser", "-u", "postgres", "--"]
    data = os.path.join(folder, "data")
    password_file = os.path.join(folder, "password")
    with open(password_file, "w") as out:
        out.write(PASSWORD + "\n")
    if as_postgres:
        shutil.chown(password_file, "postgres")
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    subprocess.run(as_postgres + [os.path.join(binaries, "initdb"), "-D", data, "-U", USER,
                                  "--auth=scram-sha-256", "--pwfile=" + password_file,
                                  "-E", "UTF8", "--locale=C.UTF-8"], check=True, **quiet)
    port = free_port()
    subprocess.run(as_postgres + [os.path.join(binaries, "pg_ctl"), "-D", data, "-w", "-l",
                                  os.path.join(folder, "log"), "-o",
                                  "-p %d -k %s -c listen_addresses=127.0.0.1" % (port, folder),
                                  "start"], check=True, **quiet)
    env = dict(os.environ, PGPASSWORD=PASSWORD, PGHOST="127.0.0.1", PGPORT=str(port),
               PGUSER=USER)
    psql = [os.path.join(binaries, "psql"), "-q", "-v", "ON_ERROR_STOP=1"]
    subprocess.run(psql + ["-d", "postgres", "-c", "CREATE DATABASE club"], env=env, check=True,
                   **quiet)
    subprocess.run(psql + ["-d", "club", "-f", sql_file], env=env, check=True, **quiet)
    print("PORT %d" % port, flush=True)

    def stop(mode):
        subprocess.run(as_postgres + [os.path.join(binaries, "pg_ctl"), "-D", data, "-m", mode,
                                      "stop"], **quiet)
    try:
        for line in sys.stdin:
            if line.strip() == "stop":
                stop("immediate")
                print("STOPPED", flush=True)
    finally:
        stop("immediate")
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
