#!/usr/bin/env python3
"""A time-stamp authority for the signing tests, on this machine only.

Answers RFC 3161 requests posted over HTTP with `openssl ts -reply`, signed by
the TSA certificate that the test made. Listens on a free port of 127.0.0.1
and writes that port to PORT_FILE once it is ready.

Usage: timestamp_responder.py OPENSSL_TS_CONFIG PORT_FILE
"""
import http.server
import subprocess
import sys
import tempfile
from pathlib import Path

config, port_file = sys.argv[1], sys.argv[2]


class Responder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as folder:
            request, reply = Path(folder, "request.tsq"), Path(folder, "reply.tsr")
            request.write_bytes(query)
            done = subprocess.run(
                ["openssl", "ts", "-reply", "-config", config,
                 "-queryfile", str(request), "-out", str(reply)],
                capture_output=True)
            if done.returncode != 0:
                self.send_error(500, done.stderr.decode(errors="replace")[:200])
                return
            answer = reply.read_bytes()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *arguments):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
Path(port_file).write_text(str(server.server_address[1]))
server.serve_forever()
