#!/usr/bin/env python3
"""Times whole command-line runs of the built program and reports their peak
resident memory (through GNU time, Debian's package "time", because a child
started from Python inherits Python's own peak before it starts the program).
Usage: bench/whole_runs.py [path/to/beatmarks]"""
import os
import subprocess
import sys
import tempfile
import time

BINARY = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "build", "beatmarks")
RUNS = 20


def run(args, folder):
    """One run; returns (seconds, resource usage, exit status)."""
    out = os.open(os.path.join(folder, "stdout"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    actions = [(os.POSIX_SPAWN_DUP2, out, 1)]
    start = time.perf_counter()
    pid = os.posix_spawn(BINARY, [BINARY] + args, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    os.close(out)
    return elapsed, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def peak_memory(args, folder):
    """Peak resident KiB of one run, or None without GNU time."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M", BINARY] + args, cwd=folder,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def measure(name, map_text, args):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "map.tmap")
        with open(path, "w") as f:
            f.write(map_text)
        results = []
        for _ in range(RUNS):
            out = os.path.join(folder, "out.txt")
            if os.path.exists(out):
                os.remove(out)
            results.append(run([path, out] + args, folder))
        times = sorted(r[0] for r in results)
        status = {r[2] for r in results}
        memory = peak_memory([path, os.path.join(folder, "out.txt")] + args, folder)
        print(f"{name}:\n  median {times[len(times) // 2] * 1000:.1f} ms, "
              f"worst {times[-1] * 1000:.1f} ms, exit status {sorted(status)}, peak memory "
              + (f"{memory} KiB" if memory else "unknown (install Debian's time package)"))


huge = "".join(f"tmap\t{60 + i % 97}\t4\t2147483647\n" for i in range(510))
measure("510 sections of 2147483647 measures, 16 divisions, measure 2147483647 alone",
        huge, ["44100", "2147483647", "2147483647", "16"])
long_map = "".join(f"tmap\t{60 + i % 97}\t4\t10000\n" for i in range(510))
measure("510 sections of 10000 measures, 16 divisions, the last measure",
        long_map, ["44100", "5100000", "5100000", "16"])
measure("the two help examples, whole map, 4 divisions",
        "tmap\t144.6\t4\t32\ntmap\t152\t3\t16\n", ["44100", "1", "48", "4"])
