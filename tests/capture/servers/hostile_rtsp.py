#!/usr/bin/python3
"""RTSP cameras that misbehave, for the tests, on 127.0.0.1 with an ephemeral port (written to
--port-file). Every request received is appended to --log as "<host> <method> <Authorization>".

--mode redirect        DESCRIBE is answered with 302 to rtsp://127.0.0.2:<port>/cam, where a
                       second listener of this process asks for basic authentication; with
                       --auth-first the redirect comes only after a basic log-on (cam / s3cret)
--mode huge-describe   DESCRIBE says its answer has 2000000000 bytes, then sends them as fast as
                       the client reads
--mode endless-frame   an H.264 stream whose first frame never ends: fragments as fast as the
                       client reads them
The process ends by itself after --lifetime seconds.
"""
import argparse
import base64
import os
import socket
import struct
import sys
import threading

SDP = ("v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=hostile\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
       "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=fmtp:96 packetization-mode=1\r\n"
       "a=control:track1\r\n")
CREDENTIALS = "Basic " + base64.b64encode(b"cam:s3cret").decode()


def read_request(conn, pending):
    while b"\r\n\r\n" not in pending[0]:
        data = conn.recv(4096)
        if not data:
            return None
        pending[0] += data
    head, pending[0] = pending[0].split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return lines[0].split(" ")[0], headers


def answer(conn, cseq, status, extra="", body=""):
    text = "RTSP/1.0 %s\r\nCSeq: %s\r\n%s" % (status, cseq, extra)
    if body:
        text += "Content-Type: application/sdp\r\nContent-Length: %d\r\n" % len(body)
    conn.sendall((text + "\r\n" + body).encode())


def endless_frame(conn):
    seq = 0
    payload = b"\xaa" * 1400
    while True:
        fu_header = 0x85 if seq == 0 else 0x05  # start of an IDR slice, then its middle
        rtp = struct.pack("!BBHII", 0x80, 96, seq & 0xFFFF, 1000, 0x1234) + bytes(
            [0x7C, fu_header]) + payload
        conn.sendall(b"$\x00" + struct.pack("!H", len(rtp)) + rtp)
        seq += 1


def serve(conn, host, args, log):
    pending = [b""]
    logged_on = False
    try:
        while True:
            request = read_request(conn, pending)
            if request is None:
                return
            method, headers = request
            auth = headers.get("authorization", "-")
            with open(log, "a") as f:
                f.write("%s %s %s\n" % (host, method, auth.replace(" ", "_")))
            cseq = headers.get("cseq", "0")
            if host == "127.0.0.2":
                answer(conn, cseq, "401 Unauthorized", 'WWW-Authenticate: Basic realm="other"\r\n')
                continue
            if method == "OPTIONS":
                answer(conn, cseq, "200 OK", "Public: DESCRIBE, SETUP, PLAY, TEARDOWN\r\n")
            elif method == "DESCRIBE" and args.mode == "redirect":
                logged_on = logged_on or auth == CREDENTIALS
                if args.auth_first and not logged_on:
                    answer(conn, cseq, "401 Unauthorized", 'WWW-Authenticate: Basic realm="cam"\r\n')
                else:
                    answer(conn, cseq, "302 Moved Temporarily",
                           "Location: rtsp://127.0.0.2:%d/cam\r\n" % args.other_port)
            elif method == "DESCRIBE" and args.mode == "huge-describe":
                conn.sendall(("RTSP/1.0 200 OK\r\nCSeq: %s\r\nContent-Type: application/sdp\r\n"
                              "Content-Length: 2000000000\r\n\r\n" % cseq).encode())
                zeros = b"\0" * 65536
                while True:
                    conn.sendall(zeros)
            elif method == "DESCRIBE":
                answer(conn, cseq, "200 OK", "Content-Base: rtsp://127.0.0.1/cam/\r\n", SDP)
            elif method == "SETUP":
                answer(conn, cseq, "200 OK",
                       "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\nSession: 12345678\r\n")
            elif method == "PLAY":
                answer(conn, cseq, "200 OK", "Session: 12345678\r\n")
                endless_frame(conn)
            else:
                answer(conn, cseq, "200 OK")
    except OSError:
        pass
    finally:
        conn.close()


def listen(host, port=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((host, port))
    s.listen(8)
    return s


def accept_loop(server, host, args, log):
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn, host, args, log), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--mode", choices=("redirect", "huge-describe", "endless-frame"),
                        required=True)
    parser.add_argument("--auth-first", action="store_true")
    parser.add_argument("--lifetime", type=int, default=120)
    args = parser.parse_args()
    main_server = listen("127.0.0.1")
    other = listen("127.0.0.2")
    args.other_port = other.getsockname()[1]
    threading.Thread(target=accept_loop, args=(other, "127.0.0.2", args, args.log),
                     daemon=True).start()
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(main_server.getsockname()[1]))
    os.rename(tmp, args.port_file)
    accept_loop(main_server, "127.0.0.1", args, args.log)


if __name__ == "__main__":
    sys.exit(main())
