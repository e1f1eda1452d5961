#!/usr/bin/python3
"""Loopback FTP server for tests: serves one folder on 127.0.0.1 to one user
with a password (read and list only). Prints the chosen port on the first
line of stdout. Needs Debian's python3-pyftpdlib (/usr/bin/python3).

Usage: ftp_server.py ROOT USER PASSWORD [binary-only|any-type] [BYTES_PER_SECOND]
With "binary-only", a download asked for in ASCII mode (TYPE A) is refused
with 550, so a test can tell that a client fetches byte for byte. With
BYTES_PER_SECOND, every download trickles at that rate.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


class Handler(FTPHandler):
    binary_only = False

    def ftp_RETR(self, file):
        if self.binary_only and self._current_type == "a":
            self.respond("550 ASCII transfers are refused here.")
            return None
        return super().ftp_RETR(file)


def main():
    root, user, password = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    level = logging.INFO if os.environ.get("STRATLYN_SERVER_LOG") else logging.CRITICAL
    logging.basicConfig(level=level, stream=sys.stderr)
    logging.getLogger("pyftpdlib").setLevel(level)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = Handler
    handler.binary_only = len(sys.argv) > 4 and sys.argv[4] == "binary-only"
    handler.authorizer = authorizer
    handler.auth_failed_timeout = 0.1  # refuse a wrong password at once
    handler.passive_ports = None
    handler.masquerade_address = None
    if len(sys.argv) > 5 and int(sys.argv[5]) > 0:
        dtp = ThrottledDTPHandler
        dtp.write_limit = int(sys.argv[5])
        dtp.ac_out_buffer_size = max(1, int(sys.argv[5]))
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", 0), handler)
    sys.stdout.write("%d\n" % server.address[1])
    sys.stdout.flush()
    sys.stdout = open(os.devnull, "w")
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
