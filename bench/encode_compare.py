#!/usr/bin/python3
"""Records the test pattern with tovalen-rec and the very same source with the ffmpeg command line,
side by side in one run, and compares picture (PSNR), size, CPU, memory and drops.

  encode_compare.py TOVALEN_REC [--seconds N] [--only mjpeg,4k,h264] [--label NAME]

For each size and source (the test picture, and the same picture with camera-like noise) it
records N seconds with `tovalen-rec record` at a range of qualities and with
`ffmpeg -f lavfi -i GRAPH -c:v mjpeg -q:v Q` at a range of quantisers, alternately, so that a
change in the machine's load falls on both. GRAPH is the one tovalen-rec's test-pattern device
traced when it opened (`--trace`), so both sides run the same libavfilter graph at the same
frame rate; the script checks that the files' frame rates agree too. PSNR pairs frames by index
(both inputs through `settb=1/30,setpts=N`), against the source made again by the graph without
its real-time pacing. CPU and peak memory come from the child's rusage.

It prints a Markdown table per size and source, our size at ffmpeg's PSNR (interpolated on our
curve), and writes one PNG per size (PSNR against video bytes per second) into bench/. The plots
need matplotlib (Debian's python3-matplotlib, `scripts/install-deps --bench`), hence
/usr/bin/python3. Needs ffmpeg and ffprobe on the path.
"""

import argparse
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time
from dataclasses import asdict, dataclass, field

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
FPS = 1_000_000 / 33_333  # the recorder's frame time is 33,333 us
DEFAULT_QUALITY = 85
# TestPatternDevice::AudioGraph for 44.1 kHz stereo, the recorder's default sound.
AUDIO_GRAPH = "sine=frequency=440:sample_rate=44100:samples_per_frame=882,arealtime"
SOURCES = {"pattern": 0, "noise": 2}  # the test-pattern device's inputs
COMMAND_TIMEOUT_S = 600


@dataclass
class Run:
    recorder: str  # "tovalen" or "ffmpeg"
    setting: str  # "quality 85", "-q:v 6", "crf 16"
    size: str
    source: str
    codec: str
    frames: int = 0
    dropped: int = 0  # ours: what record reports; ffmpeg: its drop + dup count
    speed: float = 0.0  # ffmpeg's own speed (below 1: it fell behind the source)
    cpu_per_s: float = 0.0
    peak_rss_mb: float = 0.0
    psnr: float = float("nan")
    video_bytes_per_s: float = 0.0
    file_mb: float = 0.0
    frame_rate: str = ""
    x264_options: str = field(default="", repr=False)


def run_child(argv, env, stdout_path, stderr_path):
    """Runs a child to its end; its CPU seconds and peak resident size (MB) from its rusage."""
    with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
        child = subprocess.Popen(argv, env=env, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + COMMAND_TIMEOUT_S
        while True:
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                child.kill()
                pid, status, usage = os.wait4(child.pid, 0)
                break
            time.sleep(0.2)
        child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{argv[0]} failed ({child.returncode}): {open(stderr_path).read()[-2000:]}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def check_output(argv, env=None):
    return subprocess.run(argv, env=env, check=True, capture_output=True, text=True,
                          timeout=COMMAND_TIMEOUT_S).stdout


class Tovalen:
    def __init__(self, program, folder):
        self.program = program
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"), HOME=folder)
        listed = check_output([program, "devices"], self.env)
        found = re.search(r"^(\d+), テストパターン,", listed, re.M)
        if not found:
            sys.exit("tovalen-rec lists no test-pattern device")
        self.device = found.group(1)

    def configure(self, size, source, codec, quality):
        check_output([self.program, "device", self.device, "--size", size, "--input", str(SOURCES[source]),
                      "--codec", codec, "--quality", str(quality)], self.env)

    def record(self, path, seconds, work):
        out, err = os.path.join(work, "rec.out"), os.path.join(work, "rec.err")
        cpu, rss = run_child([self.program, "--trace", "record", "--file", path, "--length", str(seconds),
                              "--device", self.device], self.env, out, err)
        summary = re.search(r": (\d+) frames, (\d+) dropped", open(out).read())
        graphs = set(re.findall(r"^D: test pattern: (.*)$", open(err).read(), re.M))
        if not summary or len(graphs) != 1:
            sys.exit(f"unexpected record output: {open(out).read()} / graphs {graphs}")
        return cpu, rss, int(summary.group(2)), graphs.pop()


def ffmpeg_record(graph, codec_args, seconds, path, work):
    progress = os.path.join(work, "progress.txt")
    argv = ["ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error", "-y", "-progress", progress,
            "-f", "lavfi", "-i", graph, "-f", "lavfi", "-i", AUDIO_GRAPH, "-map", "0:v", "-map", "1:a",
            *codec_args, "-c:a", "pcm_s16le", "-ar", "44100", "-ac", "2", "-t", str(seconds), "-f", "avi", path]
    cpu, rss = run_child(argv, None, os.path.join(work, "ff.out"), os.path.join(work, "ff.err"))
    values = dict(re.findall(r"^(\w+)=(.*)$", open(progress).read(), re.M))  # the last report wins
    dropped = int(values.get("drop_frames", 0)) + int(values.get("dup_frames", 0))
    speed = float(values.get("speed", "0x").rstrip("x") or 0)
    return cpu, rss, dropped, speed


def probe_video(path):
    """Video bytes, frames (non-empty packets) and the declared frame rate of a file."""
    sizes = check_output(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size",
                          "-of", "csv=p=0", path]).split()
    sizes = [int(s) for s in sizes if s.strip().isdigit() and int(s) > 0]
    rate = check_output(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                         "stream=r_frame_rate", "-of", "csv=p=0", path]).strip()
    return sum(sizes), len(sizes), rate


def psnr_by_index(path, reference_graph):
    lavfi = ("[0:v]settb=1/30,setpts=N[recorded];[1:v]settb=1/30,setpts=N[source];"
             "[recorded][source]psnr=shortest=1")
    log = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-i", path, "-f", "lavfi", "-i", reference_graph,
                          "-lavfi", lavfi, "-f", "null", "-"], capture_output=True, text=True,
                         timeout=COMMAND_TIMEOUT_S).stderr
    found = re.search(r"PSNR .*average:([0-9.]+|inf)", log)
    return float(found.group(1)) if found else float("nan")


def x264_options(path):
    """The encoder's settings x264 writes into the stream, without those about threads."""
    with open(path, "rb") as f:
        head = f.read(1 << 20)
    found = re.search(rb"options: ([ -~]+)", head)
    if not found:
        return ""
    words = found.group(1).decode().split()
    return " ".join(w for w in words if not re.match(r"(threads|lookahead_threads|sliced_threads)=", w))


def finish(run, path, cpu, rss, graph):
    video_bytes, frames, rate = probe_video(path)
    seconds = max(frames, 1) / FPS
    run.frames, run.frame_rate = frames, rate
    run.cpu_per_s, run.peak_rss_mb = cpu / seconds, rss
    run.video_bytes_per_s = video_bytes / seconds
    run.file_mb = os.path.getsize(path) / 1e6
    # Pairing by index is only right when no frame is missing.
    if run.dropped == 0:
        run.psnr = psnr_by_index(path, graph.removesuffix(",realtime"))
    if run.codec == "h264":
        run.x264_options = x264_options(path)
    os.remove(path)
    print(f"  {run.recorder} {run.setting}: {run.psnr:.2f} dB, {run.video_bytes_per_s / 1e6:.2f} MB/s, "
          f"CPU {run.cpu_per_s:.3f}, {run.peak_rss_mb:.0f} MB, {run.frames} frames, {run.dropped} dropped",
          flush=True)
    return run


def h264_crf(quality):
    """The CRF our H.264 encoder uses for a quality (ApplyQuality in video_codecs.cpp)."""
    return 10 + ((100 - quality) * 41 + 49) // 99


def compare(tovalen, work, size, source, seconds, ours, theirs, codec):
    """Alternates our runs and ffmpeg's; `ours` are qualities, `theirs` ffmpeg's codec settings."""
    runs = []
    graph = None
    length = str(seconds + 1)  # record stops in the second after its length
    pending = list(ours)
    theirs = list(theirs)
    while pending or theirs:
        if pending:
            quality = pending.pop(0)
            tovalen.configure(size, source, codec, quality)
            path = os.path.join(work, "ours.avi")
            cpu, rss, dropped, traced = tovalen.record(path, seconds, work)
            if graph not in (None, traced):
                sys.exit(f"the device's graph changed with the quality: {graph} / {traced}")
            graph = traced
            run = Run("tovalen", f"quality {quality}", size, source, codec, dropped=dropped)
            if codec == "h264":
                run.setting += f" (crf {h264_crf(quality)})"
            runs.append(finish(run, path, cpu, rss, graph))
        if theirs and graph:
            label, codec_args = theirs.pop(0)
            path = os.path.join(work, "theirs.avi")
            cpu, rss, dropped, speed = ffmpeg_record(graph, codec_args, length, path, work)
            run = Run("ffmpeg", label, size, source, codec, dropped=dropped, speed=speed)
            runs.append(finish(run, path, cpu, rss, graph))
    rates = {r.frame_rate for r in runs}
    if len({round(eval_rate(r), 3) for r in rates}) != 1:
        print(f"  WARNING: the files' frame rates differ: {rates}", flush=True)
    print(f"  graph: {graph}", flush=True)
    return runs


def eval_rate(text):
    num, _, den = text.partition("/")
    return float(num) / float(den or 1)


def interpolate(points, x):
    """Linear interpolation on (x, y) points sorted by x; None outside their range."""
    points = sorted(p for p in points if not math.isnan(p[0]))
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        if x0 <= x <= x1 and x1 > x0:
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0)
    return None


def print_table(runs):
    print("\n| recorder | setting | frames | dropped | CPU s per recorded s | peak RSS (MB) | PSNR (dB) | "
          "video MB/s | file MB |")
    print("|---|---|---|---|---|---|---|---|---|")
    for r in runs:
        dropped = f"{r.dropped}" + (f" (speed {r.speed:.2f}x)" if r.recorder == "ffmpeg" else "")
        print(f"| {r.recorder} | {r.setting} | {r.frames} | {dropped} | {r.cpu_per_s:.3f} | {r.peak_rss_mb:.0f} | "
              f"{r.psnr:.2f} | {r.video_bytes_per_s / 1e6:.2f} | {r.file_mb:.1f} |")


def print_matches(runs):
    """Our size, CPU and memory at each of ffmpeg's points, interpolated on our curve by PSNR."""
    ours = [r for r in runs if r.recorder == "tovalen" and r.dropped == 0]
    print("\n| ffmpeg | its PSNR | our size there | our CPU there | peak RSS (ours / its) |")
    print("|---|---|---|---|---|")
    for theirs in (r for r in runs if r.recorder == "ffmpeg"):
        size = interpolate([(r.psnr, r.video_bytes_per_s) for r in ours], theirs.psnr)
        cpu = interpolate([(r.psnr, r.cpu_per_s) for r in ours], theirs.psnr)
        peak = max((r.peak_rss_mb for r in ours), default=float("nan"))
        size_text = f"{size / theirs.video_bytes_per_s:.2f} x" if size else "outside our range"
        cpu_text = f"{cpu / theirs.cpu_per_s:.2f} x" if cpu else "outside our range"
        print(f"| {theirs.setting} | {theirs.psnr:.2f} dB | {size_text} | {cpu_text} | "
              f"{peak:.0f} / {theirs.peak_rss_mb:.0f} MB |")


def plot(runs, size, label):
    """PSNR against video bytes per second, ours and ffmpeg's; one panel per source."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("no plot: matplotlib is missing (scripts/install-deps --bench)", file=sys.stderr)
        return
    sources = [s for s in SOURCES if any(r.size == size and r.source == s for r in runs)]
    if not sources:
        return
    figure, panels = plt.subplots(1, len(sources), figsize=(6 * len(sources), 4.5), squeeze=False)
    for axes, source in zip(panels[0], sources):
        for recorder, style in (("tovalen", "o-"), ("ffmpeg", "s--")):
            points = sorted((r.video_bytes_per_s / 1e6, r.psnr, r.setting) for r in runs
                            if r.size == size and r.source == source and r.recorder == recorder
                            and r.dropped == 0 and not math.isnan(r.psnr))
            if not points:
                continue
            name = "tovalen quality" if recorder == "tovalen" else "ffmpeg -q:v"
            axes.plot([p[0] for p in points], [p[1] for p in points], style, label=name)
            for x, y, setting in points:
                axes.annotate(setting.split()[-1], (x, y), textcoords="offset points", xytext=(5, -10), fontsize=8)
        axes.set_title(f"{source}, {size}, 30 fps" + (f" ({label})" if label else ""))
        axes.set_xlabel("video MB per second")
        axes.set_ylabel("PSNR (dB), frames paired by index")
        axes.grid(True, alpha=0.3)
        axes.legend()
    name = f"encode_compare_{size}" + (f"_{label}" if label else "") + ".png"
    figure.savefig(os.path.join(BENCH_DIR, name), dpi=90, bbox_inches="tight")
    plt.close(figure)
    print(f"\nplot: bench/{name}")


def mjpeg_args(qv):
    return (f"-q:v {qv}", ["-c:v", "mjpeg", "-q:v", str(qv)])


def x264_args(crf, without_b_frames=False):
    """ffmpeg's libx264 at a CRF; our encoder writes no B-frames (AVI), ffmpeg's default has them."""
    extra = ["-bf", "0"] if without_b_frames else []
    return (f"libx264 veryfast crf {crf}" + (" -bf 0" if without_b_frames else ""),
            ["-c:v", "libx264", "-preset", "veryfast", "-crf", str(crf), *extra, "-pix_fmt", "yuv420p"])


B_FRAME_OPTIONS = re.compile(r"(bframes|b_pyramid|b_adapt|b_bias|direct|weightb|open_gop)=")


def check_x264_settings(runs):
    """Warns where our x264 settings and ffmpeg's at the same CRF differ beyond B-frames."""
    for ours in (r for r in runs if r.recorder == "tovalen"):
        crf = re.search(r"crf=(\S+)", ours.x264_options)
        for theirs in (r for r in runs if r.recorder == "ffmpeg"):
            if not crf or f"crf={crf.group(1)}" not in theirs.x264_options:
                continue
            mine = [w for w in ours.x264_options.split() if not B_FRAME_OPTIONS.match(w)]
            other = [w for w in theirs.x264_options.split() if not B_FRAME_OPTIONS.match(w)]
            if mine != other:
                print(f"  WARNING: x264 settings differ from {theirs.setting}: ours {set(mine) - set(other)}, "
                      f"ffmpeg's {set(other) - set(mine)}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tovalen_rec", nargs="?")
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--only", default="mjpeg,4k,h264", help="which parts: mjpeg, 4k, h264")
    parser.add_argument("--sizes", default="1280x720,1920x1080")
    parser.add_argument("--sources", default="pattern,noise")
    parser.add_argument("--qualities", default="70,80,85,90,95", help="ours, MJPEG")
    parser.add_argument("--qv", default="3,4,6,8", help="ffmpeg's MJPEG -q:v")
    parser.add_argument("--h264-qualities", default="85,60", help="ours; ffmpeg gets the same CRF")
    parser.add_argument("--label", default="", help="added to the plots' names, e.g. the branch")
    parser.add_argument("--json", help="also write every run to this file")
    parser.add_argument("--replot", metavar="JSON", help="only draw the plots again from a --json file")
    args = parser.parse_args()
    if args.replot:
        with open(args.replot) as f:
            runs = [Run(**r) for r in json.load(f)]
        groups = dict.fromkeys((r.codec, r.size, r.source) for r in runs)
        for codec, size, source in groups:
            print(f"\n### {codec}, {size}, {source}")
            group = [r for r in runs if (r.codec, r.size, r.source) == (codec, size, source)]
            print_table(group)
            print_matches(group)
        for size in sorted({r.size for r in runs if r.codec == "mjpeg" and r.size != "3840x2160"}):
            plot([r for r in runs if r.codec == "mjpeg"], size, args.label)
        return
    if not args.tovalen_rec:
        parser.error("TOVALEN_REC is needed unless --replot")
    parts = set(args.only.split(","))
    sizes, sources = args.sizes.split(","), args.sources.split(",")

    print(f"machine: {os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}, "
          f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}", flush=True)
    all_runs = []
    with tempfile.TemporaryDirectory(prefix="encode-compare-") as work:
        tovalen = Tovalen(os.path.abspath(args.tovalen_rec), work)

        def part(title, size, source, ours, theirs, codec):
            print(f"\n### {title}, {size}, {source} (load average {os.getloadavg()[0]:.1f})", flush=True)
            runs = compare(tovalen, work, size, source, args.seconds, ours, theirs, codec)
            print_table(runs)
            print_matches(runs)
            all_runs.extend(runs)
            return runs

        if "mjpeg" in parts:
            qualities = [int(q) for q in args.qualities.split(",")]
            for size in sizes:
                for source in sources:
                    part("MJPEG", size, source, qualities, [mjpeg_args(q) for q in args.qv.split(",")], "mjpeg")
                plot([r for r in all_runs if r.codec == "mjpeg"], size, args.label)
        if "4k" in parts:
            for source in sources:
                part("MJPEG", "3840x2160", source, [DEFAULT_QUALITY], [mjpeg_args(6), mjpeg_args(4)], "mjpeg")
        if "h264" in parts:
            for size in sizes:
                for source in sources:
                    qualities = [int(q) for q in args.h264_qualities.split(",")]
                    theirs = [x264_args(h264_crf(q)) for q in qualities] + [x264_args(h264_crf(qualities[0]), True)]
                    check_x264_settings(part("H.264", size, source, qualities, theirs, "h264"))
    if args.json:
        with open(args.json, "w") as f:
            json.dump([asdict(r) for r in all_runs], f, indent=1)


if __name__ == "__main__":
    main()
