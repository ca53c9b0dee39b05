#!/usr/bin/python3
"""CPU only, alternating: tovalen-rec recording the test pattern at several MJPEG qualities and
ffmpeg at several -q:v on the very graph the device traces, a few rounds; prints each one's
median CPU seconds per recorded second (wait4). For a change that leaves the files as they were,
where encode_compare.py's PSNR work would only repeat itself.

  encode_cpu_compare.py TOVALEN_REC SIZE pattern|noise ROUNDS QUALITIES QVS   (SECS=10 by default)
  e.g. encode_cpu_compare.py build/src/cli/tovalen-rec 1920x1080 pattern 2 80,85,90 3,4,6
It also prints each round's ratio of ours to ffmpeg's, pairing the Nth quality with the Nth -q:v
(80 with 6 and 85 with 4 give the same PSNR). TOGETHER=1 runs each such pair at the same time
instead of one after the other, so that the machine's speed, which moves from minute to minute
here, falls on both alike (together they take a fifth of one core at 1920x1080).
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile

SOUND = "sine=frequency=440:sample_rate=44100,arealtime"


def start(words, env=None):
    return subprocess.Popen(words, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def finish(child):
    out = child.stdout.read().decode(errors="replace")
    _, _, usage = os.wait4(child.pid, 0)
    return usage.ru_utime + usage.ru_stime, out


class Runs:
    def __init__(self, rec, size, source, seconds):
        self.rec, self.size, self.seconds = rec, size, seconds
        self.input = "2" if source == "noise" else "0"
        self.folder = tempfile.mkdtemp(prefix="encode-cpu-")
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.folder, "config"))
        self.graph = None
        self.results = {}

    def start_ours(self, quality, seconds=None):
        subprocess.run([self.rec, "device", "0", "--size", self.size, "--input", self.input, "--codec", "mjpeg",
                        "--quality", str(quality)], env=self.env, capture_output=True, check=True)
        return start([self.rec, "--trace", "record", "--file", os.path.join(self.folder, "ours.avi"), "--length",
                      str(seconds or self.seconds)], self.env)

    def finish_ours(self, quality, child):
        cpu, out = finish(child)
        self.graph = re.search(r"D: test pattern: (\S+)", out).group(1)
        frames, dropped = map(int, re.search(r"recorded .*: (\d+) frames, (\d+) dropped", out).groups())
        if dropped:
            print(f"quality {quality}: {dropped} dropped")
        self.results.setdefault(f"ours {quality}", []).append(cpu / (frames / 30))

    def start_ffmpeg(self, qv):
        # record stops in the second after its length: the command line gets one more.
        return start(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", self.graph, "-f", "lavfi",
                      "-i", SOUND, "-ac", "2", "-c:v", "mjpeg", "-q:v", str(qv), "-c:a", "pcm_s16le", "-t",
                      str(self.seconds + 1), os.path.join(self.folder, "ffmpeg.avi")])

    def finish_ffmpeg(self, qv, child):
        cpu, _ = finish(child)
        self.results.setdefault(f"ffmpeg -q:v {qv}", []).append(cpu / (self.seconds + 1))


def main():
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    rec, size, source, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    qualities = [int(q) for q in sys.argv[5].split(",")]
    qvs = [int(q) for q in sys.argv[6].split(",")]
    runs = Runs(rec, size, source, int(os.environ.get("SECS", "10")))
    together = os.environ.get("TOGETHER") == "1"
    if together:
        _, out = finish(runs.start_ours(qualities[0], 1))  # ffmpeg needs the graph the device traces
        runs.graph = re.search(r"D: test pattern: (\S+)", out).group(1)
    for _ in range(rounds):
        if together:
            for quality, qv in zip(qualities, qvs):
                ours = runs.start_ours(quality)
                theirs = runs.start_ffmpeg(qv)
                runs.finish_ours(quality, ours)
                runs.finish_ffmpeg(qv, theirs)
            continue
        for quality in qualities:
            runs.finish_ours(quality, runs.start_ours(quality))
        for qv in qvs:
            runs.finish_ffmpeg(qv, runs.start_ffmpeg(qv))
    results = runs.results
    print(f"{size} {source}{', together' if together else ''}, load average {os.getloadavg()[0]:.1f}")
    for name, values in results.items():
        print(f"  {name:14s} median {statistics.median(values):.4f}  runs " + " ".join(f"{v:.3f}" for v in values))
    # The machine's speed moves between rounds: each round's own ratio, ours over ffmpeg's, pairs
    # the first quality with the first -q:v and so on.
    for quality, qv in zip(qualities, qvs):
        ratios = [a / b for a, b in zip(results[f"ours {quality}"], results[f"ffmpeg -q:v {qv}"])]
        print(f"  ours {quality} / -q:v {qv}: median {statistics.median(ratios):.2f}  rounds " +
              " ".join(f"{r:.2f}" for r in ratios))


if __name__ == "__main__":
    main()
