#!/usr/bin/python3
"""Loopback FTP server for tests: serves one folder on 127.0.0.1 to one user
with a password (read and list only). Prints the chosen port on the first
line of stdout. Needs Debian's python3-pyftpdlib (/usr/bin/python3).

Usage: ftp_server.py ROOT USER PASSWORD
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, user, password = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    level = logging.INFO if os.environ.get("STRATLYN_SERVER_LOG") else logging.CRITICAL
    logging.basicConfig(level=level, stream=sys.stderr)
    logging.getLogger("pyftpdlib").setLevel(level)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.masquerade_address = None
    server = FTPServer(("127.0.0.1", 0), handler)
    sys.stdout.write("%d\n" % server.address[1])
    sys.stdout.flush()
    sys.stdout = open(os.devnull, "w")
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
