#!/usr/bin/env python3
"""Damaged copies of a real leftover against `tovalen-rec recover`, by hand, never in CI.

recover_mutations.py TOVALEN_REC [COUNT [SEED_LEFTOVER [FIRST]]]

Without SEED_LEFTOVER, one is made: the test pattern at 160x120 recorded and killed with SIGKILL.
Each copy gets one to four mutations (bytes flipped, a 32-bit value overwritten with one that
sizes and counts get wrong, a stretch cut out or repeated, the end cut off) and is recovered in a
folder of its own, each run limited to 60 s. Counted: crashes (a signal), hangs (the time limit),
leftovers deleted without a result that reads (ffprobe with -err_detect explode must
decode as many frames as the report gives, at least one), peak resident memory. Copy n is the same in every run (FIRST, 0 by default, lets two runs
share the work). Prints the counts every 100 copies; exits 1 when a crash, hang or loss was seen.
"""
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

LARGE_VALUES = [0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0, 0x10000, 0x00FFFFFF]


def make_seed(rec, folder):
    config = os.path.join(folder, "config")
    env = dict(os.environ, XDG_CONFIG_HOME=config)
    devices = subprocess.run([rec, "devices"], env=env, capture_output=True, text=True).stdout
    index = re.search(r"^(\d+), テストパターン", devices, re.M).group(1)
    subprocess.run([rec, "device", index, "--size", "160x120"], env=env, check=True, capture_output=True)
    target = os.path.join(folder, "seed.avi")
    child = subprocess.Popen([rec, "record", "--file", target, "--length", "60", "--device", index], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    leftover = None
    for _ in range(600):
        found = [f for f in os.listdir(folder) if f.startswith("seed.recording-")]
        if found and os.path.getsize(os.path.join(folder, found[0])) > 700_000:
            leftover = os.path.join(folder, found[0])
            break
        time.sleep(0.1)
    child.send_signal(signal.SIGKILL)
    child.wait()
    if not leftover:
        sys.exit("no leftover was made")
    return leftover


def mutate(data, rng):
    data = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        kind = rng.randrange(5)
        at = rng.randrange(len(data) - 8)
        if kind == 0:
            for _ in range(rng.randint(1, 8)):
                data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        elif kind == 1:
            # Near a chunk id or header, where sizes and counts are.
            ids = [m.start() for m in re.finditer(rb"00dc|01wb|strh|strf|avih|LIST|RIFF|movi", bytes(data[:4096]))]
            if ids and rng.random() < 0.6:
                at = min(rng.choice(ids) + rng.randrange(0, 64), len(data) - 4)
            data[at:at + 4] = struct.pack("<I", rng.choice(LARGE_VALUES + [rng.getrandbits(32)]))
        elif kind == 2:
            del data[at:at + rng.randint(1, 5000)]
        elif kind == 3:
            length = rng.randint(1, 5000)
            data[at:at] = data[at:at + length]
        else:
            del data[rng.randint(len(data) // 2, len(data)):]
    return bytes(data)


def decodes(path, frames):
    """Whether every one of the frames decodes; a decoder's message about a damaged marker it
    skipped, in a frame that still decodes, is not a failure."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-err_detect", "explode", "-select_streams", "v:0",
                            "-count_frames", "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                           capture_output=True, text=True, timeout=120)
    counted = re.findall(r"\d+", probe.stdout)
    return probe.returncode == 0 and counted and int(counted[0]) == frames and frames > 0


def main():
    rec = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    work = tempfile.mkdtemp(prefix="recover-mutations-")
    seed_path = sys.argv[3] if len(sys.argv) > 3 else make_seed(rec, work)
    seed = open(seed_path, "rb").read()
    first = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    tally = {"crashes": 0, "hangs": 0, "lost": 0, "recovered": 0, "partly": 0, "refused": 0}
    peak_kb = 0
    def report(done):
        print("copies %d: recovered %d, partly recovered %d, refused %d; crashes %d, hangs %d, "
              "leftovers deleted without a readable result %d; peak resident memory %d KB; cases kept in %s"
              % (done, tally["recovered"], tally["partly"], tally["refused"], tally["crashes"], tally["hangs"],
                 tally["lost"], peak_kb, work), flush=True)

    for n in range(first, first + count):
        if n > first and (n - first) % 100 == 0:
            report(n - first)
        rng = random.Random(19_000_000 + n)
        folder = os.path.join(work, "run")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        leftover = os.path.join(folder, "m.recording-M%05d.avi" % (n % 100000))
        with open(leftover, "wb") as out:
            out.write(mutate(seed, rng))
        kept = os.path.join(work, "case-%d.avi" % n)
        child = subprocess.Popen([rec, "recover", leftover], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        started = time.monotonic()
        status = None
        while status is None and time.monotonic() - started < 60:
            pid, status_word, usage = os.wait4(child.pid, os.WNOHANG)
            if pid == child.pid:
                status = status_word
                peak_kb = max(peak_kb, usage.ru_maxrss)
            else:
                time.sleep(0.02)
        output = child.stdout.read().decode(errors="replace")
        if status is None:
            child.kill()
            child.wait()
            tally["hangs"] += 1
            shutil.copy(leftover, kept)
            continue
        if os.WIFSIGNALED(status):
            tally["crashes"] += 1
            shutil.copy(leftover, kept) if os.path.exists(leftover) else None
            continue
        result = re.search(r"recovered .* as (.*): (\d+) frames", output)
        if output.startswith("recovered"):
            tally["recovered"] += 1
        elif output.startswith("partly"):
            tally["partly"] += 1
        else:
            tally["refused"] += 1
        readable = result and os.path.exists(result.group(1)) and decodes(result.group(1), int(result.group(2)))
        if not os.path.exists(leftover) and not readable:
            tally["lost"] += 1
            with open(kept, "wb") as out:
                out.write(output.encode())
    report(count)
    return 1 if tally["crashes"] or tally["hangs"] or tally["lost"] else 0


if __name__ == "__main__":
    sys.exit(main())
