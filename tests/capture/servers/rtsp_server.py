#!/usr/bin/python3
"""An RTSP camera for the tests: GStreamer's RTSP server on 127.0.0.1 serving a test picture at
rtsp://127.0.0.1:<port>/cam, as Motion-JPEG or H.264. The port (ephemeral unless --port is given)
is written to --port-file once the server listens.

Needs Debian's python3-gi, gir1.2-gst-rtsp-server-1.0, gstreamer1.0-plugins-base and -good
(and -ugly for H.264); run with Debian's python3, which has the gi module.
"""
import argparse
import os
import sys
import threading

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--codec", choices=("mjpeg", "h264"), default="mjpeg")
    parser.add_argument("--width", type=int, default=320)
    parser.add_argument("--height", type=int, default=240)
    parser.add_argument("--fps", type=int, default=15)
    parser.add_argument("--user", help="asks for basic authentication with --password")
    parser.add_argument("--password", default="")
    args = parser.parse_args()

    Gst.init(None)
    # I420: the JPEG payloader takes only the common 4:2:0 layout.
    source = ("videotestsrc is-live=true pattern=smpte "
              "! video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1"
              % (args.width, args.height, args.fps))
    if args.codec == "mjpeg":
        encode = "jpegenc ! rtpjpegpay name=pay0 pt=26"
    else:
        # A key frame every half second, so that a client that joins decodes soon.
        encode = ("videoconvert ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=%d "
                  "! rtph264pay name=pay0 pt=96 config-interval=1" % max(1, args.fps // 2))
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch("( %s ! %s )" % (source, encode))
    factory.set_shared(True)

    server = GstRtspServer.RTSPServer()
    if args.user:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "viewer")
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(args.user, args.password), token)
        server.set_auth(auth)
        permissions = GstRtspServer.RTSPPermissions()
        permissions.add_permission_for_role("viewer", "media.factory.access", True)
        permissions.add_permission_for_role("viewer", "media.factory.construct", True)
        factory.set_permissions(permissions)
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    server.get_mount_points().add_factory("/cam", factory)
    if server.attach(None) == 0:
        print("rtsp_server: cannot listen on port %d" % args.port, file=sys.stderr)
        return 1
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.get_bound_port()))
    os.rename(tmp, args.port_file)
    # The tests end the process group; a forgotten server ends by itself after ten minutes.
    threading.Timer(600, lambda: os._exit(0)).start()
    GLib.MainLoop().run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
