#!/usr/bin/python3
# A pyftpdlib server for the FTP tests and benchmarks: one user with full rights on ROOT, listening on
# 127.0.0.1:PORT (or HOST:PORT); passive data ports are whatever the system hands out.
# usage: /usr/bin/python3 pyftpd_server.py PORT ROOT USER PASS [--host HOST]
#            [--account USER PASS PERM]... [--tls explicit|implicit --cert PEM --key PEM
#            [--tls-required]]
# --account: more accounts on the same root, with pyftpdlib's permission letters ("elr" is
# read-only). --tls explicit: AUTH TLS on the control connection (python3-openssl); implicit: TLS
# from the first byte. --tls-required: USER and PASS are refused until TLS is on, and so are data
# connections without PROT P.
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("port", type=int)
parser.add_argument("root")
parser.add_argument("user")
parser.add_argument("password")
parser.add_argument("--host", default="127.0.0.1")
parser.add_argument("--account", nargs=3, action="append")
parser.add_argument("--tls", choices=["explicit", "implicit"])
parser.add_argument("--cert")
parser.add_argument("--key")
parser.add_argument("--tls-required", action="store_true")
args = parser.parse_args()

logging.basicConfig(level=logging.INFO)
authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
for account_user, account_password, account_perm in args.account or []:
    authorizer.add_user(account_user, account_password, args.root, perm=account_perm)

handler = FTPHandler
if args.tls:
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class EarlyHandshakeDtpHandler(TLS_DTPHandler):
        """Lets a client make the data connection's handshake before it sends the transfer
        command, as curl does: pyftpdlib would take those early bytes for a closed connection."""

        def readable(self):
            if self._ssl_accepting or self._ssl_want_read:
                return True
            return super().readable()

    class ImplicitTlsHandler(TLS_FTPHandler):
        """TLS from the first byte: the greeting follows the handshake."""

        def handle(self):
            self.secure_connection(self.ssl_context)

        def handle_ssl_established(self):
            TLS_FTPHandler.handle(self)

    handler = ImplicitTlsHandler if args.tls == "implicit" else TLS_FTPHandler
    handler.dtp_handler = EarlyHandshakeDtpHandler
    handler.certfile = args.cert
    handler.keyfile = args.key
    handler.tls_control_required = args.tls_required
    handler.tls_data_required = args.tls_required

handler.authorizer = authorizer
handler.permit_foreign_addresses = False  # PORT to the loopback address is what the tests use
FTPServer((args.host, args.port), handler).serve_forever()
