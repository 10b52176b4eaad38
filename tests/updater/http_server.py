#!/usr/bin/env python3
"""A small HTTP server for the updater tests, on 127.0.0.1 only.

Serves the files of --root. Paths with a prefix behave differently:
  /status/<code>     answers with that status and a short body
  /stall/<name>      announces the whole file, sends half of it and then sends nothing more
  /truncate/<name>   announces the whole file, sends half of it and closes the connection
  /slow/<name>       sends the file in small pieces with short pauses
  /nolength/<name>   sends the file without announcing its size (the end is the connection's end)
Every request line is appended to --log. The server ends by itself after --lifetime seconds.
"""
import argparse
import http.server
import os
import ssl
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        with open(self.server.request_log, "a") as log:
            log.write(self.path + "\n")
        path = self.path.split("?", 1)[0]
        mode = ""
        for prefix in ("/status/", "/stall/", "/truncate/", "/slow/", "/nolength/"):
            if path.startswith(prefix):
                mode = prefix.strip("/")
                path = "/" + path[len(prefix):]
                break
        if mode == "status":
            code = int(path.strip("/"))
            body = b"status %d\n" % code
            self.send_response(code)
            if 300 <= code < 400:
                self.send_header("Location", "/elsewhere")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        name = os.path.normpath(path.lstrip("/"))
        file = os.path.join(self.server.root, name)
        if name.startswith("..") or not os.path.isfile(file):
            self.send_error(404)
            return
        with open(file, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode != "nolength":
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if mode in ("stall", "truncate"):
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            if mode == "stall":
                time.sleep(self.server.lifetime)
            return
        if mode == "slow":
            for i in range(0, len(data), 8192):
                self.wfile.write(data[i : i + 8192])
                self.wfile.flush()
                time.sleep(0.01)
            return
        self.wfile.write(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--lifetime", type=float, default=120)
    parser.add_argument("--tls-cert", help="speak HTTPS with this certificate and --tls-key")
    parser.add_argument("--tls-key")
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    if args.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.daemon_threads = True
    server.root = args.root
    server.request_log = args.log
    server.lifetime = args.lifetime
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
