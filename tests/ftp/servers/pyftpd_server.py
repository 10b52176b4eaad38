#!/usr/bin/python3
# A pyftpdlib server for the FTP integration tests: one user with full rights on ROOT, listening on
# 127.0.0.1:PORT; passive data ports are whatever the system hands out. More accounts on the same
# root follow as USER PASS PERM triples (pyftpdlib's permission letters; "elr" is read-only).
# usage: /usr/bin/python3 pyftpd_server.py PORT ROOT USER PASS [USER PASS PERM]...
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
logging.basicConfig(level=logging.INFO)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
extra = sys.argv[5:]
for i in range(0, len(extra) - 2, 3):
    authorizer.add_user(extra[i], extra[i + 1], root, perm=extra[i + 2])
handler = FTPHandler
handler.authorizer = authorizer
handler.permit_foreign_addresses = False  # PORT to 127.0.0.1 is what the tests use
FTPServer(("127.0.0.1", port), handler).serve_forever()
