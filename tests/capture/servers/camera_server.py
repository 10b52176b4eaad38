#!/usr/bin/env python3
"""An HTTP camera for the tests, on 127.0.0.1 with an ephemeral port (written to --port-file).

It makes its pictures with PIL into --dir: picture.jpg and picture.png, with the pixels PIL decodes
from each (picture.jpg.rgb, picture.png.rgb) for the tests to compare with. Every request is logged
to requests.log as "<path> <start ms> <end ms> <requests of that path in flight at its start>"; a
request is out of flight once its whole answer is on its way.

Paths (a query string is ignored, except the options named):
  /snap.jpg /snap.png     one picture, with Content-Length (?delay=ms waits first)
  /nolength.jpg           one picture, ended by closing the connection
  /flaky.jpg?fail=N       HTTP 500 for the first N requests, then the picture
  /redirect               302 to /snap.jpg
  /basic.jpg /digest.jpg  the picture behind basic or digest authentication (cam / s3cret:@pw)
  /mjpeg                  an MJPEG stream (?fps=20, ?count=N parts then the end, ?nolength=1
                          parts without Content-Length)
  /stall                  accepts, never answers
  /stall-body             headers and half the picture, then nothing
  /close-early            says the picture's length, sends half, closes
  /truncated.jpg          half a JPEG, correctly framed
  /error                  HTTP 500
  /html                   a web page
  /endless.jpg            a picture that never ends
  /mjpeg-endless          an MJPEG stream whose first part never ends
  /huge.jpg               a small JPEG that says it is 30000 x 30000
With --tls-cert and --tls-key it speaks HTTPS with that certificate.
"""
import argparse
import hashlib
import io
import os
import secrets
import socketserver
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, HTTPServer
from urllib.parse import parse_qs, urlsplit

from PIL import Image

USER = "cam"
PASSWORD = "s3cret:@pw"
REALM = "vistrel-test"
BOUNDARY = "vistrelframe"


def make_pictures(folder):
    # Smooth gradients and a few sharp edges: a picture a JPEG decoder can get slightly wrong.
    w, h = 160, 120
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 255) // (w - 1), (y * 255) // (h - 1), 255 if (x // 20 + y // 20) % 2 else 40)
    img.save(os.path.join(folder, "picture.png"))
    img.save(os.path.join(folder, "picture.jpg"), quality=90)
    for name in ("picture.jpg", "picture.png"):
        decoded = Image.open(os.path.join(folder, name)).convert("RGB")
        with open(os.path.join(folder, name + ".rgb"), "wb") as f:
            f.write(decoded.tobytes())
    with open(os.path.join(folder, "picture.jpg"), "rb") as f:
        jpeg = f.read()
    with open(os.path.join(folder, "picture.png"), "rb") as f:
        png = f.read()
    return jpeg, png


def huge_jpeg(jpeg):
    # The frame header (SOF0) holds height and width after its length and precision.
    data = bytearray(jpeg)
    i = data.find(b"\xff\xc0")
    data[i + 5:i + 9] = (30000).to_bytes(2, "big") + (30000).to_bytes(2, "big")
    return bytes(data)


class Camera(HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, folder, jpeg, png):
        super().__init__(address, Handler)
        self.folder = folder
        self.jpeg = jpeg
        self.png = png
        self.lock = threading.Lock()
        self.in_flight = {}
        self.counts = {}
        self.nonces = set()
        self.tls = None

    def process_request(self, request, client_address):
        t = threading.Thread(target=self.process_request_thread, args=(request, client_address))
        t.daemon = True
        t.start()

    def process_request_thread(self, request, client_address):
        try:
            if self.tls:
                request = self.tls.wrap_socket(request, server_side=True)
            self.finish_request(request, client_address)
        except Exception:
            pass
        finally:
            self.shutdown_request(request)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, code, body=b"", ctype="text/plain", extra=()):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        # Out of flight before the body goes: once the client has it, it may ask again at once,
        # before this thread gets to its bookkeeping.
        self.answered()
        self.wfile.write(body)
        self.close_connection = True

    def answered(self):
        with self.server.lock:
            if self.in_flight_counted:
                self.server.in_flight[self.path] -= 1
                self.in_flight_counted = False

    def picture(self, body, ctype="image/jpeg"):
        self.send(200, body, ctype)

    def do_GET(self):
        server = self.server
        url = urlsplit(self.path)
        query = {k: v[-1] for k, v in parse_qs(url.query).items()}
        with server.lock:
            server.in_flight[self.path] = server.in_flight.get(self.path, 0) + 1
            in_flight = server.in_flight[self.path]
            self.in_flight_counted = True
            server.counts[url.path] = server.counts.get(url.path, 0) + 1
            count = server.counts[url.path]
        start = time.monotonic()
        try:
            self.route(url.path, query, count)
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            end = time.monotonic()
            self.answered()
            with server.lock:
                with open(os.path.join(server.folder, "requests.log"), "a") as log:
                    log.write("%s %d %d %d\n" % (self.path, start * 1000, end * 1000, in_flight))

    def route(self, path, query, count):
        server = self.server
        if path in ("/snap.jpg", "/snap.png"):
            time.sleep(int(query.get("delay", "0")) / 1000)
            if path.endswith(".png"):
                self.picture(server.png, "image/png")
            else:
                self.picture(server.jpeg)
        elif path == "/nolength.jpg":
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(server.jpeg)
            self.close_connection = True
        elif path == "/flaky.jpg":
            if count <= int(query.get("fail", "1")):
                self.send(500, b"not yet")
            else:
                self.picture(server.jpeg)
        elif path == "/redirect":
            self.send(302, b"", extra=[("Location", "/snap.jpg")])
        elif path == "/basic.jpg":
            self.basic()
        elif path == "/digest.jpg":
            self.digest()
        elif path == "/mjpeg":
            self.mjpeg(int(query.get("fps", "20")), int(query.get("count", "0")),
                       query.get("nolength") == "1")
        elif path == "/stall":
            time.sleep(60)
        elif path == "/stall-body":
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            self.send_header("Content-Length", str(len(server.jpeg)))
            self.end_headers()
            self.wfile.write(server.jpeg[: len(server.jpeg) // 2])
            self.wfile.flush()
            time.sleep(60)
        elif path == "/close-early":
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            self.send_header("Content-Length", str(len(server.jpeg)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(server.jpeg[: len(server.jpeg) // 2])
            self.close_connection = True
        elif path == "/truncated.jpg":
            self.picture(server.jpeg[: len(server.jpeg) // 2])
        elif path == "/error":
            self.send(500, b"<h1>broken</h1>", "text/html")
        elif path == "/html":
            self.send(200, b"<html><body>Log in first</body></html>", "text/html")
        elif path == "/endless.jpg":
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            self.send_header("Connection", "close")
            self.end_headers()
            self.endless(server.jpeg[:2])
        elif path == "/mjpeg-endless":
            self.send_response(200)
            self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=" + BOUNDARY)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(("--%s\r\nContent-Type: image/jpeg\r\n\r\n" % BOUNDARY).encode())
            self.endless(server.jpeg[:2])
        elif path == "/huge.jpg":
            self.picture(huge_jpeg(server.jpeg))
        else:
            self.send(404, b"no such path")

    def endless(self, first):
        # Bounded all the same, so that nothing runs on for ever.
        self.wfile.write(first)
        chunk = b"\x00" * 65536
        deadline = time.monotonic() + 30
        sent = 0
        while time.monotonic() < deadline and sent < (1 << 30):
            self.wfile.write(chunk)
            sent += len(chunk)
        self.close_connection = True

    def mjpeg(self, fps, count, nolength):
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace;boundary=\"%s\"" % BOUNDARY)
        self.send_header("Connection", "close")
        self.end_headers()
        deadline = time.monotonic() + 30
        sent = 0
        while time.monotonic() < deadline and (count == 0 or sent < count):
            head = "--%s\r\nContent-Type: image/jpeg\r\n" % BOUNDARY
            if not nolength:
                head += "Content-Length: %d\r\n" % len(self.server.jpeg)
            self.wfile.write(head.encode() + b"\r\n" + self.server.jpeg + b"\r\n")
            self.wfile.flush()
            sent += 1
            time.sleep(1.0 / fps)
        self.close_connection = True

    def basic(self):
        import base64
        expected = "Basic " + base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode()).decode()
        if self.headers.get("Authorization") == expected:
            self.picture(self.server.jpeg)
        else:
            self.send(401, b"who are you?", extra=[("WWW-Authenticate", 'Basic realm="%s"' % REALM)])

    def digest(self):
        auth = self.headers.get("Authorization", "")
        if auth.startswith("Digest ") and self.digest_ok(auth[7:]):
            self.picture(self.server.jpeg)
            return
        nonce = secrets.token_hex(16)
        with self.server.lock:
            self.server.nonces.add(nonce)
        challenge = 'Digest realm="%s", nonce="%s", qop="auth", algorithm=MD5' % (REALM, nonce)
        self.send(401, b"who are you?", extra=[("WWW-Authenticate", challenge)])

    def digest_ok(self, text):
        fields = {}
        for part in split_params(text):
            if "=" in part:
                k, v = part.split("=", 1)
                fields[k.strip()] = v.strip().strip('"')
        if fields.get("username") != USER or fields.get("nonce") not in self.server.nonces:
            return False
        md5 = lambda s: hashlib.md5(s.encode()).hexdigest()
        ha1 = md5("%s:%s:%s" % (USER, REALM, PASSWORD))
        ha2 = md5("GET:%s" % fields.get("uri", ""))
        if fields.get("qop"):
            expected = md5("%s:%s:%s:%s:%s:%s" % (ha1, fields["nonce"], fields.get("nc", ""),
                                                fields.get("cnonce", ""), fields["qop"], ha2))
        else:
            expected = md5("%s:%s:%s" % (ha1, fields["nonce"], ha2))
        return fields.get("response") == expected


def split_params(text):
    parts, current, quoted = [], "", False
    for c in text:
        if c == '"':
            quoted = not quoted
        if c == "," and not quoted:
            parts.append(current)
            current = ""
        else:
            current += c
    parts.append(current)
    return parts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()
    jpeg, png = make_pictures(args.dir)
    server = Camera(("127.0.0.1", args.port), args.dir, jpeg, png)
    if args.tls_cert:
        server.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server.tls.load_cert_chain(args.tls_cert, args.tls_key)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(tmp, args.port_file)
    # The tests end the process group; a forgotten server ends by itself after ten minutes.
    threading.Timer(600, lambda: os._exit(0)).start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
