#!/usr/bin/env python3
"""Load on tovalen-rec serve: CLIENTS concurrent clients on the API for SECONDS while a 1080p
reservation records from the test pattern. Everything listens on 127.0.0.1 and runs in a
temporary folder. Reports the recording's frames and drops, the requests' latency (p50, p99,
max), errors, and the server's peak resident memory.

usage: bench/serve_load.py TOVALEN_REC [SECONDS [CLIENTS]]   (60 s and 100 clients by default)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request
from datetime import datetime, timedelta


def web_time(delta_seconds):
    return (datetime.now() + timedelta(seconds=delta_seconds)).strftime("%Y-%m-%dT%H:%M:%S")


def call(base, method, path, body=None, token=None, cookie=None):
    request = urllib.request.Request(base + path, method=method, data=None if body is None else json.dumps(body).encode())
    if token:
        request.add_header("X-CSRF-Token", token)
    if cookie:
        request.add_header("Cookie", cookie)
    try:
        with urllib.request.urlopen(request, timeout=30) as reply:
            return reply.status, reply.read(), reply.headers
    except urllib.error.HTTPError as error:
        return error.code, error.read(), error.headers


def session(base):
    status, body, headers = call(base, "GET", "/api/session")
    cookie = headers["Set-Cookie"].split(";")[0]
    return json.loads(body)["csrfToken"], cookie


def client(base, deadline, index, latencies, errors):
    token, cookie = session(base)
    mine = []
    turn = 0
    while time.monotonic() < deadline:
        turn += 1
        started = time.monotonic()
        if turn % 10 == 0:
            # An add and a removal far ahead, so the file and its lock are busy too.
            start = web_time(86400 * 2 + index * 600)
            status, _, _ = call(base, "POST", "/api/reservations",
                                {"start": start, "seconds": 60, "file": f"load{index}.avi"}, token, cookie)
            if status == 201:
                status, _, _ = call(base, "DELETE", "/api/reservations/" + start, None, token, cookie)
            ok = status == 200
        elif turn % 3 == 0:
            status, _, _ = call(base, "GET", "/api/reservations", None, None, cookie)
            ok = status == 200
        elif turn % 7 == 0:
            status, _, _ = call(base, "GET", "/api/still.jpg", None, None, cookie)
            ok = status in (200, 404)
        else:
            status, _, _ = call(base, "GET", "/api/status", None, None, cookie)
            ok = status == 200
        mine.append(time.monotonic() - started)
        if not ok:
            errors.append(status)
    latencies.extend(mine)


def peak_memory_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return -1


def main():
    rec = os.path.abspath(sys.argv[1])
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    clients = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, XDG_CONFIG_HOME=folder + "/config", XDG_STATE_HOME=folder + "/state")
        run = lambda *words: subprocess.run([rec, *words], env=env, check=True, capture_output=True, text=True).stdout
        device = re.search(r"^(\d+), テストパターン", run("devices"), re.M).group(1)
        run("device", device, "--size", "1920x1080")
        schedule, videos = folder + "/s.yyk", folder + "/videos"
        os.mkdir(videos)
        run("new", schedule)
        run("set", schedule, "--device", device)
        log = open(folder + "/out.txt", "w")
        server = subprocess.Popen([rec, "serve", schedule, "--listen", "127.0.0.1:0", "--allow", videos],
                                  env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            base = None
            for _ in range(300):
                found = re.search(r"serving on (http://127\.0\.0\.1:\d+)/", open(folder + "/out.txt").read())
                if found:
                    base = found.group(1)
                    break
                time.sleep(0.1)
            if not base:
                sys.exit("serve did not start: " + open(folder + "/out.txt").read())
            token, cookie = session(base)
            start = web_time(3)
            status, body, _ = call(base, "POST", "/api/reservations",
                                   {"start": start, "seconds": seconds + 6, "file": "load.avi", "title": "1080p"},
                                   token, cookie)
            if status != 201:
                sys.exit(f"the reservation was refused: {status} {body!r}")
            time.sleep(4)
            latencies, errors = [], []
            deadline = time.monotonic() + seconds
            workers = [threading.Thread(target=client, args=(base, deadline, i, latencies, errors))
                       for i in range(clients)]
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            recorded = None
            for _ in range(600):
                reservations = json.loads(call(base, "GET", "/api/reservations")[1])["reservations"]
                if reservations and reservations[0]["state"] in ("recorded", "failed"):
                    recorded = reservations[0]
                    break
                time.sleep(0.5)
            memory = peak_memory_kib(server.pid)
        finally:
            server.terminate()
            server.wait(timeout=60)
        latencies.sort()
        pick = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))] * 1000
        print(f"clients {clients}, {seconds} s: {len(latencies)} requests, {len(errors)} errors {sorted(set(errors))}")
        print(f"latency ms: p50 {pick(0.5):.1f}, p99 {pick(0.99):.1f}, max {latencies[-1] * 1000:.1f}")
        print(f"server peak resident memory: {memory / 1024:.1f} MiB")
        if recorded:
            print(f"recording: {recorded['state']}, {recorded['frames']} frames, {recorded['drops']} dropped, "
                  f"{recorded['bytes'] / 1e6:.1f} MB, {recorded['lengthSeconds']} s")
        else:
            print("recording: did not end")
        return 0 if recorded and recorded["state"] == "recorded" and recorded["drops"] == 0 and not errors else 1


if __name__ == "__main__":
    sys.exit(main())
