#!/usr/bin/python3
"""A MariaDB server of the tests' own, from Debian's mariadb-server package: a new data folder
in a temporary folder, its own socket, listening on 127.0.0.1 only with a port picked here, user
"mergix" with password "s3cret pass" and database "club" filled from the SQL file given. Prints
"PORT <n>" once it is ready; the end of its input stops it and removes the folder. Run as root,
the server runs as the system user mysql.

Usage: mariadb_test_server.py SQLFILE"""

import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time

PASSWORD = "s3cret pass"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main(sql_file):
    folder = tempfile.mkdtemp(prefix="mergix-maria-")
    os.chmod(folder, 0o755)
    user = pwd.getpwuid(os.geteuid()).pw_name
    if os.geteuid() == 0:
        user = "mysql"
        entry = pwd.getpwnam(user)
        os.chown(folder, entry.pw_uid, entry.pw_gid)
    data = os.path.join(folder, "data")
    sock = os.path.join(folder, "mysqld.sock")
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    subprocess.run(["mariadb-install-db", "--no-defaults", "--user=" + user,
                    "--datadir=" + data, "--auth-root-authentication-method=normal",
                    "--skip-test-db"], check=True, **quiet)
    port = free_port()
    server = subprocess.Popen(["/usr/sbin/mariadbd", "--no-defaults", "--user=" + user,
                               "--datadir=" + data, "--socket=" + sock, "--port=%d" % port,
                               "--bind-address=127.0.0.1", "--skip-grant-tables=0",
                               "--pid-file=" + os.path.join(folder, "pid"),
                               "--log-error=" + os.path.join(folder, "log")], **quiet)
    client = ["mariadb", "--no-defaults", "--socket=" + sock, "-uroot"]
    for _ in range(300):
        if subprocess.run(client + ["-e", "SELECT 1"], **quiet).returncode == 0:
            break
        time.sleep(0.1)
    setup = ("CREATE DATABASE club CHARACTER SET utf8mb4; "
             "CREATE USER 'mergix'@'127.0.0.1' IDENTIFIED BY '%s'; "
             "GRANT SELECT ON club.* TO 'mergix'@'127.0.0.1';" % PASSWORD)
    subprocess.run(client + ["-e", setup], check=True, **quiet)
    with open(sql_file, "rb") as sql:
        subprocess.run(client + ["club"], stdin=sql, check=True, **quiet)
    print("PORT %d" % port, flush=True)
    try:
        for _ in sys.stdin:
            pass
    finally:
        server.terminate()
        try:
            server.wait(timeout=30)
        except subprocess.TimeoutExpired:
            server.kill()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
