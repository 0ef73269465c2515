#!/usr/bin/env python3
"""A loopback HTTP server for the end-to-end cases: it serves the files below
its root and plays the network faults that a case asks for.

    http_server.py ROOT PORT

A file NAME.faults beside a served file NAME scripts the answers to the
requests for NAME, one line per request; the last line repeats:

    ok      the file, whole
    stall   read the request, then never answer (the connection stays open)
    short   announce the file's size, send part of it, close
    503     answer 503 Service Unavailable
    reset   close the connection with a reset instead of an answer
    stallbody
            announce the file's size, send its first half, then never
            send the rest (the connection stays open)

Every request is logged on standard output as
'"GET /PATH HTTP/1.1" ANSWER', where ANSWER is the status sent or the fault
played (stall, short, reset).
"""

import socket
import socketserver
import struct
import sys
import threading
import urllib.parse
from pathlib import Path

ROOT = Path(sys.argv[1]).resolve()
PORT = int(sys.argv[2])
asked = {}
asked_lock = threading.Lock()
forever = threading.Event()


def log(line: str, status: str) -> None:
    print('"%s" %s' % (line, status), flush=True)


def answer_for(target: Path) -> str:
    faults = target.parent / (target.name + ".faults")
    if not faults.is_file():
        return "ok"
    script = [w.strip() for w in faults.read_text().splitlines() if w.strip()] or ["ok"]
    with asked_lock:
        n = asked.get(target, 0)
        asked[target] = n + 1
    return script[min(n, len(script) - 1)]


class Handler(socketserver.StreamRequestHandler):
    def send(self, status: str, body: bytes, length: int = -1) -> None:
        head = "HTTP/1.1 %s\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % (
            status, len(body) if length < 0 else length)
        self.wfile.write(head.encode("ascii") + body)

    def handle(self) -> None:
        line = self.rfile.readline(65536).decode("latin-1").strip()
        while self.rfile.readline(65536).strip():
            pass  # the headers
        parts = line.split()
        if len(parts) < 2 or parts[0] != "GET":
            log(line, "400")
            self.send("400 Bad Request", b"")
            return
        path = urllib.parse.unquote(urllib.parse.urlsplit(parts[1]).path)
        target = (ROOT / path.lstrip("/")).resolve()
        if ROOT not in target.parents or not target.is_file():
            log(line, "404")
            self.send("404 Not Found", b"<html>Not Found</html>")
            return
        data = target.read_bytes()
        what = answer_for(target)
        if what == "stall":
            log(line, "stall")
            forever.wait()
        elif what == "stallbody":
            log(line, "stallbody")
            self.send("200 OK", data[:len(data) // 2], length=len(data))
            self.wfile.flush()
            forever.wait()
        elif what == "short":
            log(line, "short")
            self.send("200 OK", data[:min(1000, len(data) // 2)], length=len(data))
        elif what == "503":
            log(line, "503")
            self.send("503 Service Unavailable", b"busy")
        elif what == "reset":
            log(line, "reset")
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
        else:
            log(line, "200")
            self.send("200 OK", data)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


if __name__ == "__main__":
    with Server(("127.0.0.1", PORT), Handler) as server:
        server.serve_forever()
