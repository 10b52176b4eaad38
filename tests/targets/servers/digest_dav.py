#!/usr/bin/env python3
"""An HTTP server that takes PUT only with HTTP Digest authentication (MD5, qop=auth), for the
WebDAV tests: rclone's server knows basic authentication only. Files are kept under ROOT.

usage: digest_dav.py PORT_FILE ROOT USER PASSWORD
The port it listens on is written to PORT_FILE once it is ready.
"""
import hashlib
import os
import re
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PORT_FILE, ROOT, USER, PASSWORD = sys.argv[1:5]
REALM = 'vistrel test'
NONCE = hashlib.md5(os.urandom(16)).hexdigest()


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def answer(self, status, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header('Content-Length', '0')
        self.end_headers()

    def authorised(self):
        header = self.headers.get('Authorization', '')
        if not header.startswith('Digest '):
            return False
        fields = dict(re.findall(r'(\w+)="?([^",]*)"?', header[7:]))
        if fields.get('username') != USER or fields.get('nonce') != NONCE:
            return False
        ha1 = md5('%s:%s:%s' % (USER, REALM, PASSWORD))
        ha2 = md5('%s:%s' % (self.command, fields.get('uri', '')))
        expected = md5(':'.join([ha1, NONCE, fields.get('nc', ''), fields.get('cnonce', ''),
                                 fields.get('qop', ''), ha2]))
        return fields.get('qop') == 'auth' and fields.get('response') == expected

    def do_PUT(self):
        body = self.rfile.read(int(self.headers.get('Content-Length') or 0))
        if not self.authorised():
            return self.answer(401, {'WWW-Authenticate': 'Digest realm="%s", qop="auth", '
                                     'nonce="%s", algorithm=MD5' % (REALM, NONCE)})
        name = os.path.basename(urllib.parse.unquote(urllib.parse.urlsplit(self.path).path))
        with open(os.path.join(ROOT, name), 'wb') as f:
            f.write(body)
        self.answer(201)


server = ThreadingHTTPServer(('127.0.0.1', 0), Handler)
with open(PORT_FILE + '.part', 'w') as f:
    f.write(str(server.server_address[1]))
os.replace(PORT_FILE + '.part', PORT_FILE)
server.serve_forever()
