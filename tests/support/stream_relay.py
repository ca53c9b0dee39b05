#!/usr/bin/python3
"""A loopback HTTP server for the stream tests, on 127.0.0.1 only.

Modes:
  relay   runs the command after "--" and sends what it writes to its standard output to every
          client, as one endless HTTP response (a live MPEG-TS or MJPEG stream); each client
          joins at the next --sync marker when one is given, so it starts on a whole part.
  dir     serves the files of --dir while the command after "--" (if any) runs, e.g. an HLS
          writer filling that folder.
  garbage answers 200 and then sends random bytes.
  silent  accepts connections and never answers.

Prints "PORT n" once it listens. Ends when its command ends, at --limit seconds, or when killed.
"""

import argparse
import functools
import http.server
import os
import queue
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time



class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    allow_reuse_address = True
    daemon_threads = True


class Relay:
    def __init__(self, sync, backlog):
        self.sync = sync
        self.backlog = backlog  # chunks a client may fall behind before it is dropped
        self.lock = threading.Lock()
        self.clients = []

    def join(self):
        client = {"queue": queue.Queue(self.backlog), "synced": not self.sync}
        with self.lock:
            self.clients.append(client)
        return client

    def leave(self, client):
        with self.lock:
            if client in self.clients:
                self.clients.remove(client)

    def publish(self, chunk):
        with self.lock:
            clients = list(self.clients)
        for client in clients:
            data = chunk
            if not client["synced"]:
                at = chunk.find(self.sync)
                if at < 0:
                    continue
                client["synced"] = True
                data = chunk[at:]
            try:
                client["queue"].put_nowait(data)
            except queue.Full:
                self.leave(client)
                client["queue"] = None

    def finish(self):
        with self.lock:
            clients = list(self.clients)
        for client in clients:
            if client["queue"] is not None:
                try:
                    client["queue"].put_nowait(None)
                except queue.Full:
                    pass


def relay_handler(relay, content_type):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            client = relay.join()
            try:
                self.send_response(200)
                self.send_header("Content-Type", content_type)
                self.send_header("Cache-Control", "no-cache")
                self.end_headers()
                while True:
                    q = client["queue"]
                    if q is None:
                        return
                    data = q.get(timeout=30)
                    if data is None:
                        return
                    self.wfile.write(data)
            except (OSError, queue.Empty):
                pass
            finally:
                relay.leave(client)

        def log_message(self, *args):
            pass

    return Handler


def garbage_handler():
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "video/mp2t")
            self.end_headers()
            try:
                for _ in range(600):  # at most half a minute of it
                    self.wfile.write(os.urandom(65536))
                    time.sleep(0.05)
            except OSError:
                pass

        def log_message(self, *args):
            pass

    return Handler


class QuietFiles(http.server.SimpleHTTPRequestHandler):
    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, *args):
        pass


def pump(process, relay):
    while True:
        chunk = os.read(process.stdout.fileno(), 65536)
        if not chunk:
            break
        relay.publish(chunk)
    relay.finish()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["relay", "dir", "garbage", "silent"])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--limit", type=float, default=120)
    parser.add_argument("--content-type", default="video/mp2t")
    parser.add_argument("--sync", default="")
    parser.add_argument("--dir", default=".")
    parser.add_argument("--backlog", type=int, default=256)
    argv = sys.argv[1:]
    command = argv[argv.index("--") + 1 :] if "--" in argv else []
    args = parser.parse_args(argv[: len(argv) - len(command) - (1 if command else 0)])
    args.command = command

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    deadline = time.monotonic() + args.limit
    process = None
    if args.mode == "silent":
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", args.port))
        listener.listen(64)
        print("PORT", listener.getsockname()[1], flush=True)
        time.sleep(args.limit)
        return

    relay = None
    if args.mode == "relay":
        relay = Relay(args.sync.encode(), args.backlog)
        handler = relay_handler(relay, args.content_type)
    elif args.mode == "garbage":
        handler = garbage_handler()
    else:
        handler = functools.partial(QuietFiles, directory=args.dir)
    server = Server(("127.0.0.1", args.port), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    if args.command:
        stdout = subprocess.PIPE if relay else subprocess.DEVNULL
        process = subprocess.Popen(args.command, stdin=subprocess.DEVNULL, stdout=stdout)
        if relay:
            threading.Thread(target=pump, args=(process, relay), daemon=True).start()
    print("PORT", server.server_address[1], flush=True)

    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            time.sleep(0.5)  # let the last chunks out
            break
        time.sleep(0.1)
    if process is not None and process.poll() is None:
        process.kill()
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
