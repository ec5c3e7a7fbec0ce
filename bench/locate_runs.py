#!/usr/bin/env python3
"""--locate against its numpy peer (bench/locate_peer.py), paired run by run:
shuffled times (six decimals) on three maps: 510 text sections with decimal
tempos, 510 with integer tempos, a MIDI file of 10,000 tempo events. Wall
time and peak resident memory (GNU time), median of the runs.
Usage: bench/locate_runs.py [path/to/beatmarks] [TIMES_COUNT] [RUNS]"""
import os
import random
import runpy
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BINARY = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "beatmarks"))
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
# numpy and mido as Debian installs them (python3-numpy, python3-mido).
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 3


def timed(command):
    """Seconds and peak resident MiB of one run."""
    timer = ["/usr/bin/time", "-f", "%M"] if os.path.exists("/usr/bin/time") else []
    start = time.perf_counter()
    done = subprocess.run(timer + command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{command}: status {done.returncode}: {done.stderr}")
    peak = int(done.stderr.strip().splitlines()[-1]) / 1024 if timer else 0
    return seconds, peak


def ramp_midi(tempos):
    """A format 0 file of 4/4 with a tempo change on every beat (480 ticks)."""
    script = os.path.join(HERE, "..", "scripts", "make-midi-examples.py")
    var_length = runpy.run_path(script)["var_length"]
    events = bytearray()
    for i in range(tempos):
        micros = 400000 + (i * 37) % 300000
        events += var_length(0 if i == 0 else 480) + b"\xFF\x51\x03" + micros.to_bytes(3, "big")
    events += var_length(480) + b"\xFF\x2F\x00"
    header = b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0x01, 0xE0])
    return header + b"MTrk" + len(events).to_bytes(4, "big") + bytes(events)


def maps(folder):
    decimal = "".join(f"tmap\t{60 + i % 97}.{(i * 7919) % 1000:03d}\t{3 + i % 5}\t{8 + i % 9}\n"
                      for i in range(510))
    integer = "".join(f"tmap\t{60 + (i * 37) % 140}\t{3 + i % 5}\t{8 + i % 9}\n" for i in range(510))
    for name, text in (("decimal.tmap", decimal), ("integer.tmap", integer)):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    with open(os.path.join(folder, "ramp.mid"), "wb") as f:
        f.write(ramp_midi(10_000))
    return {"text, decimal tempos": "decimal.tmap", "text, integer tempos": "integer.tmap",
            "MIDI, 10,000 tempo events": "ramp.mid"}


def times_file(folder, length):
    """COUNT times in no order over the map's length and a little past it."""
    rng = random.Random(25)
    path = os.path.join(folder, f"times-{length}.txt")
    micros = int(length * 1.02e6)
    with open(path, "w") as f:
        f.write("".join(f"{t // 10**6}.{t % 10**6:06d}\n" for t in (rng.randrange(micros) for _ in range(COUNT))))
    return path


def length_of(folder, map_name):
    done = subprocess.run([BINARY, "-f", "summary", map_name, "-"], cwd=folder, capture_output=True, text=True)
    total = [line for line in done.stdout.splitlines() if line.startswith("Total")][0]
    return float(total.split("(")[1].split(" ")[0])


def main():
    with tempfile.TemporaryDirectory() as folder:
        for label, name in maps(folder).items():
            path = os.path.join(folder, name)
            times = times_file(folder, length_of(folder, path))
            ours, peer = [], []
            for _ in range(RUNS):
                ours.append(timed([BINARY, "-f", "csv", "-d", "2", "-r", "48000", f"--locate={times}", path,
                                   os.path.join(folder, "ours.csv")]))
                peer.append(timed([PYTHON, os.path.join(HERE, "locate_peer.py"), path, times, "2",
                                   "48000", os.path.join(folder, "peer.csv")]))
            ours.sort()
            peer.sort()
            a, b = ours[len(ours) // 2], peer[len(peer) // 2]
            print(f"{label}, {COUNT} shuffled times: beatmarks {a[0]:.2f} s ({a[1]:.1f} MiB), "
                  f"numpy {b[0]:.2f} s ({b[1]:.1f} MiB): {b[0] / a[0]:.1f}x")


if __name__ == "__main__":
    main()
