#!/usr/bin/python3
# A pyftpdlib server for the FTP integration tests: one user with full rights on ROOT, listening on
# 127.0.0.1:PORT; passive data ports are whatever the system hands out.
# usage: /usr/bin/python3 pyftpd_server.py PORT ROOT USER PASS
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
logging.basicConfig(level=logging.INFO)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
handler.permit_foreign_addresses = False  # PORT to 127.0.0.1 is what the tests use
FTPServer(("127.0.0.1", port), handler).serve_forever()
