#!/usr/bin/env python3
"""A small stand-in for a VPS panel's client API, on loopback only.

It answers POST .../api/client/command.php by the "key" form field:
  online, offline, disabled      a success answer with that vmstat
  busy, full                     online, with 85.2% and 91.2% of the month's
                                 bandwidth used (the panel rounds: 85 and 91)
  over-quota                     online, past its month's bandwidth: 112.3%
                                 used (the panel says 112, and 0 free)
  garbled                        online, with usage values the check cannot read
  (any other key)                an error answer "Invalid key"
  echo                           an error answer whose statusmsg describes the
                                 request as the panel saw it
  empty, html, capitals          malformed answers (empty body, a web page,
                                 the status element in capitals)
  no-statusmsg, unclosed-vmstat  answers the check cannot read an element from
  stall                          answers only after 30 seconds
  truncated                      announces more body than it sends, then closes
The online servers add <bw>, <hdd> and <mem> (total,used,free,percent, in
bytes) for each of the fields "bw", "hdd" and "mem" sent with "true".
A path starting with /gone answers 404 Not Found; /redirect2/... and
/redirect1/... redirect (307, 308) one step closer to the API path.

Both an HTTP and an HTTPS listener (self-signed certificate) start on free
ports; their numbers go to STATE_DIR/ports as shell assignments.
"""
import argparse
import http.server
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

API_PATH = "/api/client/command.php"
SUCCESS = "<status>success</status><statusmsg></statusmsg>"


TIB = 1 << 40
GIB = 1 << 30
# total,used,free,percent by server and value: bandwidth beyond 2^32 bytes.
USAGE = {
    "online": {"bw": (TIB, 412316860416, 687194767360, "37.5"),
               "hdd": (20 * GIB, 5 * GIB, 15 * GIB, "25"),
               "mem": (GIB, 536870912, 536870912, "50")},
    "busy": {"bw": (10 ** 12, 852 * 10 ** 9, 148 * 10 ** 9, "85"),
             "hdd": (20 * GIB, 10 * GIB, 10 * GIB, "50"),
             "mem": (GIB, 268435456, 805306368, "25")},
    "full": {"bw": (10 ** 12, 912 * 10 ** 9, 88 * 10 ** 9, "91"),
             "hdd": (20 * GIB, 19 * GIB, GIB, "95"),
             "mem": (GIB, 966367641, 107374183, "90")},
    "over-quota": {"bw": (10 ** 12, 1123 * 10 ** 9, 0, "112"),
                   "hdd": (20 * GIB, 10 * GIB, 10 * GIB, "50"),
                   "mem": (GIB, 268435456, 805306368, "25")},
}
# Used above total with a percent it cannot give.
GARBLED = {"bw": "<bw>1,2,3</bw>", "hdd": "<hdd>100,112,0,150</hdd>", "mem": ""}


def usage_tags(key, fields):
    asked = [tag for tag in ("bw", "hdd", "mem") if fields.get(tag, [""])[0] == "true"]
    if key == "garbled":
        return "".join(GARBLED[tag] for tag in asked)
    values = USAGE.get(key, USAGE["online"])
    return "".join("<%s>%d,%d,%d,%s</%s>" % ((tag,) + values[tag] + (tag,)) for tag in asked)


def answer_for(key, request, fields):
    if key in ("online", "offline", "disabled", "busy", "full", "over-quota", "garbled"):
        vmstat = key if key in ("offline", "disabled") else "online"
        usage = usage_tags(key, fields) if vmstat == "online" else ""
        return 200, "OK", (SUCCESS + "<vmstat>%s</vmstat><hostname>%s.demo</hostname>"
                           "<ipaddress>127.0.0.1</ipaddress>%s" % (vmstat, key, usage))
    if key == "echo":
        return 200, "OK", "<status>error</status><statusmsg>%s</statusmsg>" % request
    if key == "empty":
        return 200, "OK", ""
    if key == "html":
        return 200, "OK", "<html><body>Maintenance</body></html>"
    if key == "capitals":
        return 200, "OK", "<STATUS>success</STATUS><VMSTAT>online</VMSTAT>"
    if key == "no-statusmsg":
        return 200, "OK", "<status>error</status>"
    if key == "unclosed-vmstat":
        return 200, "OK", "<status>success</status><vmstat>online"
    return 200, "OK", "<status>error</status><statusmsg>Invalid key</statusmsg>"


class Panel(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "DemoPanel/1.0"

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("demo-panel: " + (fmt % args) + "\n")

    def send_text(self, code, reason, body, close=True):
        data = body.encode("utf-8")
        self.send_response(code, reason)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        if close:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)

    def redirect(self, code, location):
        self.send_response(code)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.send_header("Connection", "close")
        self.end_headers()

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length).decode("latin-1") if length > 0 else ""

    def describe(self, body):
        headers = "|".join("%s: %s" % (k, v) for k, v in self.headers.items())
        # The request line as sent (the handler's own path has "//" collapsed).
        return "%s|%s|body: %s" % (self.requestline, headers, body)

    def do_GET(self):
        self.handle_any("")

    def do_POST(self):
        self.handle_any(self.read_body())

    def handle_any(self, body):
        self.close_connection = True
        path = self.path.split("?", 1)[0]
        if path.startswith("/gone"):
            return self.send_text(404, "Not Found", "<html>Not Found</html>")
        if path.startswith("/redirect2/"):
            return self.redirect(307, "/redirect1/" + path[len("/redirect2/"):])
        if path.startswith("/redirect1/"):
            return self.redirect(308, "/" + path[len("/redirect1/"):])
        if not path.endswith(API_PATH) or self.command != "POST":
            return self.send_text(404, "Not Found", "<html>Not Found</html>")
        fields = urllib.parse.parse_qs(body, keep_blank_values=True)
        key = fields.get("key", [""])[0]
        if key == "stall":
            time.sleep(30)
        if key == "truncated":
            self.send_response(200, "OK")
            self.send_header("Content-Length", "1000")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(b"<status>success</status>")
            return
        code, reason, text = answer_for(key, self.describe(body), fields)
        self.send_text(code, reason, text)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def make_certificate(state_dir):
    cert = os.path.join(state_dir, "panel-cert.pem")
    key = os.path.join(state_dir, "panel-key.pem")
    if not (os.path.exists(cert) and os.path.exists(key)):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def refusing_socket():
    """A port that refuses connections: bound (so nobody else takes it) but not listening."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    return s


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.state_dir, exist_ok=True)

    plain = Server(("127.0.0.1", 0), Panel)
    secure = Server(("127.0.0.1", 0), Panel)
    cert, key = make_certificate(args.state_dir)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    for server in (plain, secure):
        server.verbose = args.verbose
        threading.Thread(target=server.serve_forever, daemon=True).start()

    refusing = refusing_socket()
    ports = os.path.join(args.state_dir, "ports")
    with open(ports + ".tmp", "w") as out:
        out.write("HTTP_PORT=%d\nHTTPS_PORT=%d\nCLOSED_PORT=%d\n"
                  % (plain.server_address[1], secure.server_address[1], refusing.getsockname()[1]))
    os.replace(ports + ".tmp", ports)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
