#!/usr/bin/env python3
"""A small S3-compatible endpoint for the upload tests, on 127.0.0.1.

Every request must carry an AWS Signature V4 that python3-botocore's signer computes alike for
the access key and secret given; any other is answered 403 SignatureDoesNotMatch, as the
service does. Objects are kept as files under ROOT/<bucket>/<key>; PUT (with x-amz-copy-source
a server-side copy), GET, HEAD and DELETE are served, in path style (/bucket/key) and virtual-host
style (Host: bucket.<anything>). Each request is appended to ROOT/requests.log as one line:
  METHOD /bucket/key [copy=<source>] [cache-control=<v>] [storage-class=<v>] [type=<v>]

usage: s3_endpoint.py PORT_FILE ROOT ACCESS_KEY SECRET REGION
The port it listens on is written to PORT_FILE once it is ready.
"""
import hashlib
import os
import re
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from botocore.auth import S3SigV4Auth
from botocore.awsrequest import AWSRequest
from botocore.credentials import Credentials

PORT_FILE, ROOT, ACCESS_KEY, SECRET, REGION = sys.argv[1:6]
AUTH = re.compile(r'AWS4-HMAC-SHA256 Credential=([^/]+)/(\d{8})/([^/]+)/s3/aws4_request, *'
                  r'SignedHeaders=([^,]+), *Signature=([0-9a-f]{64})$')


def error(code, message):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>%s</Code><Message>%s'
            '</Message></Error>' % (code, message)).encode()


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def answer(self, status, body=b'', headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        if self.command != 'HEAD':
            self.wfile.write(body)

    def body(self):
        length = int(self.headers.get('Content-Length') or 0)
        return self.rfile.read(length) if length else b''

    def checked(self, body):
        """The signature check: None when it holds, else the error to answer."""
        m = AUTH.match(self.headers.get('Authorization', ''))
        if not m:
            return 'AccessDenied', 'no AWS Signature V4'
        key, day, region, signed, signature = m.groups()
        if key != ACCESS_KEY:
            return 'InvalidAccessKeyId', 'unknown access key'
        if region != REGION:
            return 'AuthorizationHeaderMalformed', 'wrong region ' + region
        stamp = self.headers.get('X-Amz-Date', '')
        if not stamp.startswith(day):
            return 'AccessDenied', 'X-Amz-Date does not match the credential'
        content = self.headers.get('X-Amz-Content-SHA256')
        if content is None:
            return 'InvalidRequest', 'x-amz-content-sha256 is missing'
        if content != 'UNSIGNED-PAYLOAD' and content != hashlib.sha256(body).hexdigest():
            return 'XAmzContentSHA256Mismatch', 'the body does not match its hash'
        names = signed.split(';')
        if 'host' not in names:
            return 'AccessDenied', 'the Host header is not signed'
        headers = {}
        for name in names:
            if self.headers.get(name) is None:
                return 'AccessDenied', 'signed header %s is missing' % name
            headers[name] = self.headers.get(name)
        request = AWSRequest(method=self.command, url='http://' + self.headers['Host'] + self.path,
                             headers=headers, data=body)
        request.context['timestamp'] = stamp
        signer = S3SigV4Auth(Credentials(ACCESS_KEY, SECRET), 's3', REGION)
        canonical = signer.canonical_request(request)
        expected = signer.signature(signer.string_to_sign(request, canonical), request)
        if expected != signature:
            return 'SignatureDoesNotMatch', 'the signature does not match'
        return None

    def target(self):
        """(bucket, key) of the request, path style or virtual-host style."""
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        host = self.headers.get('Host', '').split(':')[0]
        if host.count('.') and not re.match(r'^[0-9.]+$', host):
            return host.split('.')[0], path.lstrip('/')
        bucket, _, key = path.lstrip('/').partition('/')
        return bucket, key

    def record(self, bucket, key, extra=''):
        with open(os.path.join(ROOT, 'requests.log'), 'a') as log:
            log.write('%s /%s/%s%s\n' % (self.command, bucket, key, extra))

    def handle_any(self):
        body = self.body() if self.command == 'PUT' else b''
        bucket, key = self.target()
        problem = self.checked(body)
        copy = self.headers.get('x-amz-copy-source')
        extra = ''
        if copy:
            extra += ' copy=' + urllib.parse.unquote(copy)
        for header, label in (('Cache-Control', 'cache-control'),
                              ('x-amz-storage-class', 'storage-class'),
                              ('Content-Type', 'type')):
            if self.headers.get(header) and (self.command == 'PUT'):
                extra += ' %s=%s' % (label, self.headers.get(header))
        self.record(bucket, key, extra + (' REFUSED ' + problem[0] if problem else ''))
        if problem:
            return self.answer(403, error(*problem), {'Content-Type': 'application/xml'})
        path = os.path.join(ROOT, bucket, key)
        if not os.path.isdir(os.path.join(ROOT, bucket)):
            return self.answer(404, error('NoSuchBucket', 'no bucket ' + bucket))
        if self.command == 'PUT':
            if copy:
                src_bucket, _, src_key = urllib.parse.unquote(copy).lstrip('/').partition('/')
                src = os.path.join(ROOT, src_bucket, src_key)
                if not os.path.isfile(src):
                    return self.answer(404, error('NoSuchKey', 'no key ' + src_key))
                with open(src, 'rb') as f:
                    body = f.read()
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path + '.part', 'wb') as f:
                f.write(body)
            os.replace(path + '.part', path)
            result = b'<CopyObjectResult><ETag>"x"</ETag></CopyObjectResult>' if copy else b''
            return self.answer(200, result)
        if self.command == 'DELETE':
            if os.path.isfile(path):
                os.remove(path)
            return self.answer(204)
        if not os.path.isfile(path):
            return self.answer(404, error('NoSuchKey', 'no key ' + key))
        with open(path, 'rb') as f:
            return self.answer(200, f.read())

    do_PUT = do_GET = do_HEAD = do_DELETE = handle_any


server = ThreadingHTTPServer(('127.0.0.1', 0), Handler)
with open(PORT_FILE + '.part', 'w') as f:
    f.write(str(server.server_address[1]))
os.replace(PORT_FILE + '.part', PORT_FILE)
server.serve_forever()
