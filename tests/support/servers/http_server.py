#!/usr/bin/python3
"""Loopback HTTP server for tests: serves one folder on 127.0.0.1 and offers
fault paths. Prints the chosen port on the first line of stdout.

Usage: http_server.py ROOT [--port N]

Paths:
  /PATH?QUERY          the file "PATH?QUERY" when it exists, else the file PATH
  /_status/CODE[/...]  answers with that status code and a one-line body
  /_redirect/PATH      302 to /PATH (the query, if any, is kept)
  /_slow/MS/PATH       the file PATH, sent in 64-byte pieces MS milliseconds apart
  /_stall/PATH         headers and half of the file PATH, then nothing more
  /_hang               accepts the request and never answers
  /_bytes/N            N bytes 0,1,...,255,0,1,... (application/octet-stream)
  /_download/PATH      the file PATH as application/octet-stream (a browser saves it)
  /_echo               the request line and headers, as text/plain
  /_trickle/N          a page announced as 100000 bytes, sent N bytes a second
  /_headers            the headers of a page of 1000 bytes, then nothing more
  /_endless            a page without a length, sent as fast as it is read, never ending
  /_named/NAME/PATH    the file PATH as a download with Content-Disposition filename="NAME"
  /_browserlate/MS/PATH  the file PATH; a web browser (a User-Agent with "Mozilla") gets it
                       only MS milliseconds late, any other client at once
"""
import os
import sys
import threading
import time
import urllib.parse
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

ROOT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.getcwd()
HANG = threading.Event()  # never set: hanging requests wait on it

TYPES = {
    ".htm": "text/html", ".html": "text/html", ".aspx": "text/html", ".asp": "text/html",
    ".txt": "text/plain", ".csv": "text/csv", ".json": "application/json",
    ".js": "application/javascript", ".css": "text/css", ".png": "image/png",
    ".gif": "image/gif", ".jpg": "image/jpeg",
}


class Handler(SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):  # quiet unless asked
        if os.environ.get("STRATLYN_SERVER_LOG"):
            sys.stderr.write("http: " + (fmt % args) + "\n")

    def _file_for(self, path, query):
        rel = urllib.parse.unquote(path).lstrip("/")
        base = os.path.normpath(os.path.join(ROOT, rel))
        if not (base == ROOT or base.startswith(ROOT + os.sep)):
            return None
        if query:
            keyed = base + "?" + urllib.parse.unquote(query)
            if os.path.isfile(keyed):
                return keyed
        if os.path.isdir(base):
            for index in ("index.html", "index.htm"):
                if os.path.isfile(os.path.join(base, index)):
                    return os.path.join(base, index)
            return None
        return base if os.path.isfile(base) else None

    def _send(self, code, body, ctype="text/plain", headers=None):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def _serve_file(self, path, query, mode=None, arg=0):
        name = self._file_for(path, query)
        if name is None:
            self._send(404, b"not found\n")
            return
        with open(name, "rb") as f:
            data = f.read()
        ext = os.path.splitext(name.split("?", 1)[0])[1].lower()
        ctype = TYPES.get(ext, "text/html" if ext == "" else "application/octet-stream")
        if mode == "download":
            ctype = "application/octet-stream"
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command == "HEAD":
            return
        if mode == "slow":
            for i in range(0, len(data), 64):
                self.wfile.write(data[i:i + 64])
                self.wfile.flush()
                time.sleep(arg / 1000.0)
        elif mode == "stall":
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            HANG.wait()
        else:
            self.wfile.write(data)

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        parts = parsed.path.split("/")
        head = parts[1] if len(parts) > 1 else ""
        try:
            if head == "_status":
                code = int(parts[2])
                self._send(code, ("status %d\n" % code).encode())
            elif head == "_redirect":
                target = "/" + "/".join(parts[2:])
                if parsed.query:
                    target += "?" + parsed.query
                self._send(302, b"moved\n", headers={"Location": target})
            elif head == "_slow":
                self._serve_file("/".join(parts[3:]), parsed.query, "slow", int(parts[2]))
            elif head == "_browserlate":
                if "Mozilla" in self.headers.get("User-Agent", ""):
                    time.sleep(int(parts[2]) / 1000.0)
                self._serve_file("/".join(parts[3:]), parsed.query, "plain")
            elif head == "_stall":
                self._serve_file("/".join(parts[2:]), parsed.query, "stall")
            elif head == "_download":
                self._serve_file("/".join(parts[2:]), parsed.query, "download")
            elif head == "_hang":
                HANG.wait()
            elif head == "_bytes":
                n = int(parts[2])
                body = bytes(i % 256 for i in range(n))
                self._send(200, body, "application/octet-stream")
            elif head == "_trickle":
                rate = max(1, int(parts[2]))
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", "100000")
                self.end_headers()
                while True:
                    self.wfile.write(b"x" * rate)
                    self.wfile.flush()
                    time.sleep(1.0)
            elif head == "_headers":
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", "1000")
                self.end_headers()
                self.wfile.flush()
                HANG.wait()
            elif head == "_endless":
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.end_headers()
                chunk = b"<p>endless</p>" * 4096
                while True:
                    self.wfile.write(chunk)
            elif head == "_named":
                name = urllib.parse.unquote(parts[2])
                with open(self._file_for("/".join(parts[3:]), "") or os.devnull, "rb") as f:
                    data = f.read()
                self._send(200, data, "application/octet-stream",
                           {"Content-Disposition": 'attachment; filename="%s"' % name})
            elif head == "_echo":
                text = self.requestline + "\n" + str(self.headers)
                self._send(200, text.encode(), "text/plain")
            else:
                self._serve_file(parsed.path, parsed.query)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def do_HEAD(self):
        self.do_GET()


def main():
    port = 0
    if "--port" in sys.argv:
        port = int(sys.argv[sys.argv.index("--port") + 1])
    server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    sys.stdout.write("%d\n" % server.server_address[1])
    sys.stdout.flush()
    sys.stdout = open(os.devnull, "w")
    server.serve_forever()


if __name__ == "__main__":
    main()
