#!/usr/bin/python3
"""An RTSP server on 127.0.0.1 for the stream tests: a moving test picture in H.264 and a tone in
A-law at rtsp://127.0.0.1:PORT/live, optionally behind a user name and password (basic
authentication). Prints "PORT n" once it listens; ends after --limit seconds or when killed."""

import argparse
import signal
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402

PIPELINE = (
    "( videotestsrc is-live=true pattern=ball "
    "! video/x-raw,width={width},height={height},framerate={rate}/1 "
    "! x264enc tune=zerolatency speed-preset=ultrafast key-int-max={rate} "
    "! rtph264pay name=pay0 pt=96 config-interval=1 "
    "audiotestsrc is-live=true wave=sine freq=1000 "
    "! audio/x-raw,rate=8000,channels=1 ! alawenc ! rtppcmapay name=pay1 pt=8 )"
)


def protect(server, factory, user, password):
    auth = GstRtspServer.RTSPAuth()
    token = GstRtspServer.RTSPToken()
    token.set_string(GstRtspServer.RTSP_TOKEN_MEDIA_FACTORY_ROLE, "viewer")
    auth.add_basic(GstRtspServer.RTSPAuth.make_basic(user, password), token)
    server.set_auth(auth)
    permissions = GstRtspServer.RTSPPermissions()
    permissions.add_permission_for_role("viewer", GstRtspServer.RTSP_PERM_MEDIA_FACTORY_ACCESS, True)
    permissions.add_permission_for_role("viewer", GstRtspServer.RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, True)
    factory.set_permissions(permissions)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--limit", type=float, default=120)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--width", type=int, default=320)
    parser.add_argument("--height", type=int, default=240)
    parser.add_argument("--rate", type=int, default=25)
    args = parser.parse_args()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(PIPELINE.format(width=args.width, height=args.height, rate=args.rate))
    factory.set_shared(True)
    if args.user:
        protect(server, factory, args.user, args.password)
    server.get_mount_points().add_factory("/live", factory)
    if server.attach(None) == 0:
        print("cannot listen on 127.0.0.1:%d" % args.port, file=sys.stderr, flush=True)
        return 1

    loop = GLib.MainLoop()
    GLib.timeout_add(int(args.limit * 1000), loop.quit)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print("PORT", server.get_bound_port(), flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
