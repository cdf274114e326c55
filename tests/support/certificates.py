"""Certificates for a TLS server on 127.0.0.1, made with openssl for one test or benchmark run."""

import os
import subprocess


def make_certificates(folder):
    """A throwaway authority and a certificate for 127.0.0.1 and localhost signed by it; the
    paths of the authority, the certificate and its key."""
    def run(*args):
        subprocess.run(["openssl"] + list(args), check=True, cwd=folder,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca-key.pem", "-out", "ca.pem", "-subj",
        "/CN=Throwaway CA", "-days", "2")
    run("req", *ec, "-keyout", "key.pem", "-out", "server.csr", "-subj", "/CN=localhost")
    with open(os.path.join(folder, "san.ext"), "w") as ext:
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca-key.pem",
        "-CAcreateserial", "-out", "cert.pem", "-days", "2", "-extfile", "san.ext")
    return [os.path.join(folder, name) for name in ("ca.pem", "cert.pem", "key.pem")]
