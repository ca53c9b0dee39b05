#!/usr/bin/env python3
"""A network stream recorded by tovalen-rec against the ffmpeg command line, side by side in one
run, everything on 127.0.0.1:

1. copy: a 1080p H.264 8 Mbit/s MPEG-TS stream over HTTP copied into .ts by tovalen-rec and by
   `ffmpeg -i URL -c copy out.ts`, both at once, each from its own server, for 3 x SECONDS.
2. re-encode: the same stream into an MJPEG AVI by tovalen-rec (the device's quality) and by
   `ffmpeg -i URL -c:v mjpeg -q:v N` for a few N, one after the other; ffmpeg's CPU is read at
   tovalen's PSNR (interpolated between the two nearest N).

CPU is user + system time of each child (getrusage through wait4) per second recorded, and also
from 5 s in to the end (per second of wall time, from /proc/PID/stat), without the start. PSNR is
each recording's frames against the source's, paired by index from SKIP s in, from the source
frame the recording shows there (found on small grey pictures of the test source's frame counter,
since a live stream is joined anywhere) to the end of the source file; a frame the recorder
dropped counts as the frame before it, as a player shows it.

usage: bench/stream_bench.py TOVALEN_REC [SECONDS [QUALITY]]   (20 s and 85 by default)
The source (20 s, made once) is kept in ~/.cache/tovalen-bench/.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CACHE = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
SOURCE = os.path.join(CACHE, "tovalen-bench", "stream-source-1080p-8M.ts")
RATE = 30
SOURCE_SECONDS = 20
THUMB = (48, 16)  # testsrc2's frame counter, top left, scaled down: each frame's own
SKIP = 3  # seconds at the start of a recording left out of PSNR: a stream joined between key frames
SETTLE = 5  # seconds after which a recorder's CPU counts as steady


def make_source():
    if os.path.exists(SOURCE):
        return
    print("making the 1080p H.264 8 Mbit/s source once ...", flush=True)
    os.makedirs(os.path.dirname(SOURCE), exist_ok=True)
    subprocess.run(
        ["ffmpeg", "-nostdin", "-v", "error", "-y",
         "-f", "lavfi", "-i", f"testsrc2=size=1920x1080:rate={RATE}",
         "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000",
         "-t", str(SOURCE_SECONDS), "-c:v", "libx264", "-preset", "veryfast", "-b:v", "8M",
         "-maxrate", "8M", "-bufsize", "8M", "-g", str(RATE * 2), "-pix_fmt", "yuv420p",
         "-c:a", "aac", "-b:a", "128k", "-f", "mpegts", SOURCE + ".part"], check=True)
    os.rename(SOURCE + ".part", SOURCE)


class Server:
    """The source looped in real time over HTTP, through the tests' relay so that a client may
    connect more than once (a look at the stream, then the recording)."""

    def __init__(self, limit):
        relay = os.path.join(HERE, "..", "tests", "support", "stream_relay.py")
        self.output = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["/usr/bin/python3", relay, "relay", "--limit", str(limit), "--backlog", "2048", "--",
             "ffmpeg", "-nostdin", "-v", "error", "-re", "-stream_loop", "-1", "-i", SOURCE, "-c", "copy",
             "-f", "mpegts", "pipe:1"], stdout=self.output, start_new_session=True)
        deadline = time.monotonic() + 20
        port = None
        while port is None and time.monotonic() < deadline:
            time.sleep(0.05)
            self.output.seek(0)
            found = re.search(rb"PORT (\d+)\n", self.output.read())
            port = found and int(found.group(1))
        if port is None:
            self.close()
            sys.exit("the stream server did not start")
        self.url = f"http://127.0.0.1:{port}/live.ts"

    def close(self):
        try:
            os.killpg(self.process.pid, 9)
        except ProcessLookupError:
            pass
        self.process.wait()


class Child:
    """A recorder, its CPU time read at SETTLE seconds (from /proc) and at its end (wait4), so that
    the start (connecting, looking at the streams) can be told from the steady recording."""

    def __init__(self, words, env=None, log=None):
        self.words = words
        self.started = time.monotonic()
        self.process = subprocess.Popen(words, env=env, stdin=subprocess.DEVNULL,
                                        stdout=log or subprocess.DEVNULL, stderr=subprocess.STDOUT)
        self.settled = None
        self.timer = threading.Timer(SETTLE, self.sample)
        self.timer.start()

    def sample(self):
        try:
            with open(f"/proc/{self.process.pid}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            self.settled = (time.monotonic(), (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK"))
        except (OSError, IndexError, ValueError):
            pass

    def wait(self):
        _, status, usage = os.wait4(self.process.pid, 0)
        self.timer.cancel()
        self.process.returncode = os.waitstatus_to_exitcode(status)
        ended = time.monotonic()
        self.wall = ended - self.started
        self.cpu = usage.ru_utime + usage.ru_stime
        self.steady = float("nan")
        if self.settled and ended > self.settled[0]:
            self.steady = (self.cpu - self.settled[1]) / (ended - self.settled[0])
        return self


def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    try:
        return float(out)
    except ValueError:
        return 0.0


def codec(path):
    names = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=codec_name",
                            "-of", "csv=p=0", path], capture_output=True, text=True).stdout.split()
    return names[0] if names else "-"


def thumbnails(path, frames=None):
    # A recording's dropped frames (empty AVI chunks) are filled with the frame before, as a
    # player shows them, so that a frame's index is its place in time.
    fill = "" if path == SOURCE else f"fps={RATE},"
    words = ["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-fps_mode", "passthrough"]
    if frames:
        words += ["-frames:v", str(frames)]
    words += ["-vf", f"{fill}crop=iw*104/1920:ih*36/1080:0:0,scale={THUMB[0]}:{THUMB[1]}:flags=area,format=gray",
              "-f", "rawvideo", "-"]
    data = subprocess.run(words, capture_output=True, check=True).stdout
    size = THUMB[0] * THUMB[1]
    return [data[i:i + size] for i in range(0, len(data) - size + 1, size)]


def start_frame(recording, source_thumbs):
    """The source frame the recording shows SKIP s in, found on the 30 frames from there."""
    first = SKIP * RATE
    mine = thumbnails(recording, first + 30)[first:]
    best, best_cost = 0, None
    for offset in range(len(source_thumbs)):
        cost = 0
        for i, thumb in enumerate(mine):
            other = source_thumbs[(offset + i) % len(source_thumbs)]
            cost += sum(abs(a - b) for a, b in zip(thumb, other))
            if best_cost is not None and cost >= best_cost:
                break
        if best_cost is None or cost < best_cost:
            best, best_cost = offset, cost
    return best


def psnr(recording, source_thumbs):
    """Frames paired by index from SKIP s in, until the recording or the source ends. The servers
    loop the source, but ffmpeg's looped decoding of it is not frame for frame the source again (it
    loses the frames whose times overlap the loop before), so the pairs stop where the source ends."""
    begin = start_frame(recording, source_thumbs)
    first = SKIP * RATE
    frames = min(int(duration(recording) * RATE) - first - 1, len(source_thumbs) - begin)
    if frames < RATE:
        return float("nan")
    graph = (f"[0:v]fps={RATE},trim=start_frame={first},settb=1/{RATE},setpts=N[a];"
             f"[1:v]trim=start_frame={begin},settb=1/{RATE},setpts=N[b];[a][b]psnr=shortest=1")
    out = subprocess.run(["ffmpeg", "-nostdin", "-i", recording, "-i", SOURCE,
                          "-lavfi", graph, "-frames:v", str(frames), "-f", "null", "-"],
                         capture_output=True, text=True).stderr
    found = re.findall(r"PSNR .*average:([0-9.]+|inf)", out)
    return float(found[-1]) if found else float("nan")


def encoded_frames(path):
    sizes = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size",
                            "-of", "csv=p=0", path], capture_output=True, text=True).stdout.split()
    return sum(1 for size in sizes if re.fullmatch(r"\d+,?", size) and int(size.rstrip(",")) > 0)


def tovalen_env(folder):
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
    return env


def tovalen_device(rec, env, url, quality):
    subprocess.run([rec, "source", "add", "bench", url], env=env, check=True, capture_output=True)
    listed = subprocess.run([rec, "devices"], env=env, check=True, capture_output=True, text=True).stdout
    index = re.search(r"^(\d+), bench,", listed, re.M).group(1)
    subprocess.run([rec, "device", index, "--codec", "mjpeg", "--quality", str(quality)], env=env,
                   capture_output=True)
    return index


def tovalen_record(rec, folder, seconds, target, quality, log):
    server = Server(seconds + 60)
    env = tovalen_env(folder)
    shutil.rmtree(env["XDG_CONFIG_HOME"], ignore_errors=True)
    index = tovalen_device(rec, env, server.url, quality)
    child = Child([rec, "record", "--device", index, "--file", target, "--length", str(seconds)], env, log)
    return child, server


def ffmpeg_record(seconds, target, encode, log):
    server = Server(seconds + 60)
    child = Child(["ffmpeg", "-nostdin", "-v", "error", "-y", "-rw_timeout", "10000000", "-i", server.url,
                   "-t", str(seconds)] + encode + [target], None, log)
    return child, server


def row(name, child, target, extra=""):
    recorded = duration(target)
    per = child.cpu / recorded if recorded else float("nan")
    frames = encoded_frames(target)
    per_frame = child.cpu / frames * 1000 if frames else float("nan")
    print(f"| {name} | {codec(target)} | {recorded:.1f} | {frames} | {child.cpu:.2f} | {per:.4f} | {child.steady:.4f} |"
          f" {per_frame:.2f} |{extra}")
    return per, child.steady, per_frame


def at_psnr(points, psnr_db, which):
    """ffmpeg's CPU (whole run or steady) at a PSNR, between the two nearest measured."""
    for (p0, c0), (p1, c1) in zip(points, points[1:]):
        if p0 <= psnr_db <= p1 and p1 > p0:
            return c0[which] + (c1[which] - c0[which]) * (psnr_db - p0) / (p1 - p0)
    return min(points, key=lambda point: abs(point[0] - psnr_db))[1][which]  # outside: the nearest


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    rec = os.path.abspath(sys.argv[1])
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    quality = int(sys.argv[3]) if len(sys.argv) > 3 else 85
    make_source()
    machine = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    model = re.search(r"Model name:\s*(.*)", machine)
    print(f"machine: {os.cpu_count()} cores ({subprocess.run(['nproc'], capture_output=True, text=True).stdout.strip()}"
          f" usable), {model.group(1) if model else '?'}; load average {os.getloadavg()[0]:.1f} at the start")
    with tempfile.TemporaryDirectory(prefix="stream-bench-") as folder:
        log = open(os.path.join(folder, "children.log"), "wb")
        copy_seconds = 3 * seconds  # the start costs more than a copy's second: give it time
        print(f"\n## copy of the stream into .ts, both at once, {copy_seconds} s\n")
        print("| recorder | video codec | recorded s | video packets | CPU s | CPU s per recorded s |"
              " after the first 5 s | CPU ms per packet |")
        print("|---|---|---|---|---|---|---|---|")
        mine_ts, ffmpeg_ts = os.path.join(folder, "tovalen.ts"), os.path.join(folder, "ffmpeg.ts")
        tovalen, server_a = tovalen_record(rec, folder, copy_seconds, mine_ts, quality, log)
        ffmpeg, server_b = ffmpeg_record(copy_seconds, ffmpeg_ts, ["-c", "copy", "-f", "mpegts"], log)
        tovalen.wait(), ffmpeg.wait()
        server_a.close(), server_b.close()
        copy_mine = row("tovalen-rec record --file out.ts", tovalen, mine_ts)
        copy_ffmpeg = row("ffmpeg -i URL -c copy out.ts", ffmpeg, ffmpeg_ts)

        print(f"\n## re-encode into MJPEG AVI, one after the other, {seconds} s each\n")
        source_thumbs = thumbnails(SOURCE)
        print("| recorder | video codec | recorded s | frames encoded | CPU s | CPU s per recorded s |"
              " after the first 5 s | CPU ms per frame | PSNR dB |")
        print("|---|---|---|---|---|---|---|---|---|")
        mine_avi = os.path.join(folder, "tovalen.avi")
        tovalen, server = tovalen_record(rec, folder, seconds, mine_avi, quality, log)
        tovalen.wait()
        server.close()
        mine_psnr = psnr(mine_avi, source_thumbs)
        encode_mine = row(f"tovalen-rec record --file out.avi (quality {quality})", tovalen, mine_avi,
                          f" {mine_psnr:.2f} |")
        points = []
        for q in (3, 5, 8):
            target = os.path.join(folder, f"ffmpeg-q{q}.avi")
            ffmpeg, server = ffmpeg_record(seconds, target, ["-c:v", "mjpeg", "-q:v", str(q), "-c:a", "pcm_s16le"],
                                           log)
            ffmpeg.wait()
            server.close()
            quality_db = psnr(target, source_thumbs)
            points.append((quality_db, row(f"ffmpeg -i URL -c:v mjpeg -q:v {q}", ffmpeg, target,
                                           f" {quality_db:.2f} |")))
        points.sort()
        at_equal = [at_psnr(points, mine_psnr, which) for which in (0, 1, 2)]

        print("\n## ratios\n")
        print("| measure | whole run | after the first 5 s | target |")
        print("|---|---|---|---|")
        print(f"| copy into .ts, CPU against ffmpeg | {copy_mine[0] / copy_ffmpeg[0]:.2f} |"
              f" {copy_mine[1] / copy_ffmpeg[1]:.2f} | at most 1.0 |")
        print(f"| copy into .ts, share of one core | {copy_mine[0] * 100:.2f} % | {copy_mine[1] * 100:.2f} % |"
              " under 3 % |")
        print(f"| MJPEG AVI at equal PSNR ({mine_psnr:.2f} dB), CPU against ffmpeg |"
              f" {encode_mine[0] / at_equal[0]:.2f} | {encode_mine[1] / at_equal[1]:.2f} | at most 0.85 |")
        print(f"| the same per frame encoded (fair when either fell behind) | {encode_mine[2] / at_equal[2]:.2f} | |"
              " at most 0.85 |")
        print(f"\nload average at the end: {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()
