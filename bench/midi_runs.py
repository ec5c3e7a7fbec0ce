#!/usr/bin/env python3
"""-f midi against the mido script a user would write instead (bench/midi_peer.py),
run in pairs on the same maps: 510 sections of awkward decimal tempos, and
100,000 fitted beats. Median wall and CPU time (user + system) of each.
Usage: bench/midi_runs.py [path/to/beatmarks] [pairs]"""
import os
import random
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BINARY = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "beatmarks"))
PAIRS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
PYTHON = "/usr/bin/python3"  # the one with mido


def timed(argv, folder):
    """Wall and CPU seconds of one run, which must succeed."""
    null = os.open(os.devnull, os.O_WRONLY)
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_CHDIR, folder)]
                         if hasattr(os, "POSIX_SPAWN_CHDIR") else [(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    os.close(null)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{argv}: failed")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    with tempfile.TemporaryDirectory() as folder:
        r = random.Random(5)
        awkward = os.path.join(folder, "awkward.tmap")
        with open(awkward, "w") as f:
            f.write("".join(f"S{i}\ttmap\t{r.randint(55, 180)}.{r.randint(1, 999):03d}\t{r.randint(3, 7)}"
                            f"\t{r.randint(8, 16)}\n" for i in range(510)))
        taps = os.path.join(folder, "taps.txt")
        with open(taps, "w") as f:
            f.write("".join(f"{i * 0.5 + (i * 7919 % 13) * 0.001:.6f}\n" for i in range(100_000)))
        out = os.path.join(folder, "out.mid")
        for name, ours, peer in [("510 awkward sections", [BINARY, "-f", "midi", awkward, out],
                                  [PYTHON, os.path.join(HERE, "midi_peer.py"), awkward, out]),
                                 ("100,000 fitted beats", [BINARY, "--fit", "-f", "midi", taps, out],
                                  [PYTHON, os.path.join(HERE, "midi_peer.py"), taps, out])]:
            runs = {"beatmarks": [], "mido script": []}
            for _ in range(PAIRS):
                runs["beatmarks"].append(timed(ours, folder))
                runs["mido script"].append(timed(peer, folder))
            for who, times in runs.items():
                wall = statistics.median(t[0] for t in times)
                cpu = statistics.median(t[1] for t in times)
                print(f"{name}, {who}: {wall * 1000:.0f} ms wall, {cpu * 1000:.0f} ms CPU")


if __name__ == "__main__":
    main()
